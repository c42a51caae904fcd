#pragma once

#include <map>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

namespace oxel::local {

// Development stand-ins of the two sign-in providers, served by the local backend so that a
// development build can sign in without either provider:
//
// - Apple: the authorisation page ("/auth/authorize"), which answers in form-post mode to the
//   redirect page, and that redirect page ("/apple/return"), which opens the "oxel:"
//   callback URL with the state and the identity token (or the error).
// - Google: the authorisation page ("/o/oauth2/v2/auth"), which redirects to the application's
//   scheme with a one-time code, and the token endpoint ("/token"), which checks the code, the
//   client, the redirect URI and the PKCE verifier against the S256 challenge.
//
// Each page is a small form: a name to sign in as, and "Continue" or "Cancel". The identity
// tokens name that subject ("dev-apple.<name>", "dev-google.<name>"); the local backend's
// sign-in exchange takes any token as the account's subject.
class DevelopmentSignIn {
public:
    void addRoutes(httplib::Server& http);

private:
    struct Grant {
        std::string clientId;
        std::string redirectUri;
        std::string challenge;
        std::string subject;
    };

    std::string issueCode(Grant grant);
    // The grant of a code, which is then used up.
    bool redeem(const std::string& code, Grant& grant);

    std::mutex mutex_;
    std::map<std::string, Grant> grants_;
};

} // namespace oxel::local
