#include "backend/AuthTokens.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <vector>

namespace oxel {

std::string base64Url(std::string_view bytes)
{
    std::string encoded(4 * ((bytes.size() + 2) / 3), '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    encoded.resize(static_cast<std::size_t>(length));
    while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
    for (char& c : encoded) {
        if (c == '+') c = '-';
        if (c == '/') c = '_';
    }
    return encoded;
}

std::optional<std::string> randomToken(std::size_t byteCount)
{
    std::vector<unsigned char> bytes(byteCount);
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) return std::nullopt;
    return base64Url(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string codeChallenge(std::string_view verifier)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

} // namespace oxel
