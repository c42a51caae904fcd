#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// Base64url without padding ("+" → "-", "/" → "_", "=" removed).
std::string base64Url(std::string_view bytes);

// `byteCount` bytes from OpenSSL's cryptographic generator as Base64url: 24 bytes give 32
// characters (a sign-in state), 64 give 86 (a PKCE code verifier). None when the generator
// fails, since a guessable state or verifier would defeat its purpose.
std::optional<std::string> randomToken(std::size_t byteCount);

// The PKCE S256 challenge of a verifier: Base64url of the SHA-256 of its bytes (43 characters).
std::string codeChallenge(std::string_view verifier);

} // namespace oxel
