#include "day/fingerprint.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace day {

std::string Fingerprint(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1 ||
        length != 32) {
        throw std::runtime_error("ruttfilens kontrollsumma kunde inte räknas ut (libcrypto)");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(std::size_t{2} * length);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4U]);
        text.push_back(kHex[digest[i] & 0xFU]);
    }
    return text;
}

}  // namespace day
