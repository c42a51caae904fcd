#include "localbackend/DevelopmentSignIn.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cctype>
#include <utility>
#include <vector>

namespace oxel::local {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr const char* defaultSubject = "photographer@example.com";
constexpr const char* appleCallback = "oxel:/auth/apple";

std::string htmlEscaped(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string urlEncoded(const std::string& text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0xF];
        }
    }
    return encoded;
}

std::string query(const Fields& fields)
{
    std::string text;
    for (const auto& [name, value] : fields) {
        if (!text.empty()) text += '&';
        text += urlEncoded(name);
        text += '=';
        text += urlEncoded(value);
    }
    return text;
}

std::string base64Url(const unsigned char* bytes, size_t size)
{
    std::string text(4 * ((size + 2) / 3), '\0');
    text.resize(size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, int(size))));
    while (!text.empty() && text.back() == '=') text.pop_back();
    for (char& c : text) c = c == '+' ? '-' : c == '/' ? '_' : c;
    return text;
}

std::string s256(const std::string& verifier)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return base64Url(digest, sizeof digest);
}

std::string hiddenInputs(const Fields& fields)
{
    std::string html;
    for (const auto& [name, value] : fields)
        html += "<input type=\"hidden\" name=\"" + htmlEscaped(name) + "\" value=\"" + htmlEscaped(value) + "\">\n";
    return html;
}

// The consent page: a GET form to `action` carrying `carried`, a name, and the two choices.
std::string consentPage(const std::string& provider, const std::string& action, const Fields& carried)
{
    return "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>" + provider +
           " sign-in (development)</title></head>\n<body>\n<h1>Sign in with " + provider +
           " (development)</h1>\n<form method=\"get\" action=\"" + htmlEscaped(action) + "\">\n" +
           hiddenInputs(carried) + "<label>Sign in as <input type=\"text\" name=\"subject\" value=\"" + defaultSubject +
           "\"></label>\n<button type=\"submit\" name=\"choice\" value=\"continue\">Continue</button>\n"
           "<button type=\"submit\" name=\"choice\" value=\"cancel\">Cancel</button>\n</form>\n</body></html>\n";
}

// What the provider sends in form-post mode: a page that posts `fields` to `action` at once.
std::string formPostPage(const std::string& action, const Fields& fields)
{
    return "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>Signing in</title></head>\n"
           "<body onload=\"document.forms[0].submit()\">\n<form method=\"post\" action=\"" +
           htmlEscaped(action) + "\">\n" + hiddenInputs(fields) +
           "<noscript><button type=\"submit\">Continue</button></noscript>\n</form>\n</body></html>\n";
}

void badRequest(httplib::Response& res, const std::string& error)
{
    res.status = 400;
    res.set_content(nlohmann::json{{"error", error}}.dump(), "application/json");
}

bool hasAll(const httplib::Request& req, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (!req.has_param(name) || req.get_param_value(name).empty()) return false;
    return true;
}

std::string param(const httplib::Request& req, const char* name)
{
    return req.get_param_value(name);
}

// A subject fit for a token: what was typed, else the default.
std::string subjectOf(const httplib::Request& req)
{
    const std::string typed = param(req, "subject");
    return typed.empty() ? defaultSubject : typed;
}

std::string randomCode()
{
    unsigned char bytes[24];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    return base64Url(bytes, sizeof bytes);
}

} // namespace

std::string DevelopmentSignIn::issueCode(Grant grant)
{
    std::string code = randomCode();
    std::lock_guard lock(mutex_);
    grants_[code] = std::move(grant);
    return code;
}

bool DevelopmentSignIn::redeem(const std::string& code, Grant& grant)
{
    std::lock_guard lock(mutex_);
    const auto found = grants_.find(code);
    if (found == grants_.end()) return false;
    grant = std::move(found->second);
    grants_.erase(found);
    return true;
}

void DevelopmentSignIn::addRoutes(httplib::Server& http)
{
    http.Get("/auth/authorize", [](const httplib::Request& req, httplib::Response& res) {
        if (!hasAll(req, {"client_id", "redirect_uri", "state"}) || param(req, "response_mode") != "form_post" ||
            param(req, "response_type") != "code id_token")
            return badRequest(res, "invalid_request");
        res.set_content(consentPage("Apple", "/auth/authorize/continue",
                                    {{"redirect_uri", param(req, "redirect_uri")}, {"state", param(req, "state")}}),
                        "text/html; charset=utf-8");
    });
    http.Get("/auth/authorize/continue", [](const httplib::Request& req, httplib::Response& res) {
        if (!hasAll(req, {"redirect_uri", "state"})) return badRequest(res, "invalid_request");
        Fields answer{{"state", param(req, "state")}};
        if (param(req, "choice") == "cancel") {
            answer.emplace_back("error", "user_cancelled_authorize");
        } else {
            answer.emplace_back("code", randomCode());
            answer.emplace_back("id_token", "dev-apple." + subjectOf(req));
        }
        res.set_content(formPostPage(param(req, "redirect_uri"), answer), "text/html; charset=utf-8");
    });
    // The redirect page: takes the provider's form post and opens the application's callback.
    http.Post("/apple/return", [](const httplib::Request& req, httplib::Response& res) {
        Fields carried;
        for (const char* name : {"state", "code", "id_token", "error"})
            if (req.has_param(name)) carried.emplace_back(name, param(req, name));
        res.status = 303;
        res.set_header("Location", std::string(appleCallback) + "?" + query(carried));
    });

    http.Get("/o/oauth2/v2/auth", [](const httplib::Request& req, httplib::Response& res) {
        if (!hasAll(req, {"client_id", "redirect_uri", "state", "code_challenge"}) ||
            param(req, "response_type") != "code" || param(req, "code_challenge_method") != "S256" ||
            param(req, "code_challenge").size() != 43)
            return badRequest(res, "invalid_request");
        res.set_content(consentPage("Google", "/o/oauth2/v2/auth/continue",
                                    {{"client_id", param(req, "client_id")},
                                     {"redirect_uri", param(req, "redirect_uri")},
                                     {"state", param(req, "state")},
                                     {"code_challenge", param(req, "code_challenge")}}),
                        "text/html; charset=utf-8");
    });
    http.Get("/o/oauth2/v2/auth/continue", [this](const httplib::Request& req, httplib::Response& res) {
        if (!hasAll(req, {"client_id", "redirect_uri", "state", "code_challenge"}))
            return badRequest(res, "invalid_request");
        Fields answer{{"state", param(req, "state")}};
        if (param(req, "choice") == "cancel")
            answer.emplace_back("error", "access_denied");
        else
            answer.emplace_back("code", issueCode({param(req, "client_id"), param(req, "redirect_uri"),
                                                   param(req, "code_challenge"), subjectOf(req)}));
        res.status = 302;
        res.set_header("Location", param(req, "redirect_uri") + "?" + query(answer));
    });
    http.Post("/token", [this](const httplib::Request& req, httplib::Response& res) {
        Grant grant;
        if (param(req, "grant_type") != "authorization_code" || !redeem(param(req, "code"), grant) ||
            grant.clientId != param(req, "client_id") || grant.redirectUri != param(req, "redirect_uri") ||
            grant.challenge != s256(param(req, "code_verifier")))
            return badRequest(res, "invalid_grant");
        res.set_content(nlohmann::json{{"id_token", "dev-google." + grant.subject},
                                       {"access_token", "dev-access." + randomCode()},
                                       {"token_type", "Bearer"},
                                       {"expires_in", 3600}}
                            .dump(),
                        "application/json");
    });
}

} // namespace oxel::local
