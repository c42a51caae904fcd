#pragma once

#include <string>
#include <variant>

namespace oxel {

// The account state the sign-in service publishes: signed in or waitlisted with the account's
// decimal id, or signed out.
class AuthState {
public:
    enum class Case { signedIn, waitlisted, signedOut };

    static AuthState signedIn(std::string userId) { return AuthState(Case::signedIn, std::move(userId)); }
    static AuthState waitlisted(std::string userId) { return AuthState(Case::waitlisted, std::move(userId)); }
    static AuthState signedOut() { return AuthState(Case::signedOut, {}); }

    Case which() const { return case_; }
    // The account id; empty when signed out.
    const std::string& userId() const { return userId_; }
    bool hasAccount() const { return case_ != Case::signedOut; }

    bool operator==(const AuthState&) const = default;

private:
    AuthState(Case which, std::string userId) : case_(which), userId_(std::move(userId)) {}

    Case case_;
    std::string userId_;
};

} // namespace oxel
