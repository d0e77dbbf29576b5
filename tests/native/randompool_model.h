// A second, deliberately plain reading of the random pool for the tests: the
// output stream is MD5(counter) || MD5(counter + 1) || ..., built whole and
// consumed from the front, with the counter kept as 16 separate digits.
#pragma once

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/md5.h>

#include <cstdint>
#include <string>
#include <vector>

struct PoolModel {
    int digits[16] = {0}; // base-256 digits, most significant first
    long needed = 256;
    std::vector<uint8_t> stream;
    size_t next = 0;

    // Adds MD5(data) to the counter, digit by digit from the least significant.
    void Update(const uint8_t *data, size_t len)
    {
        uint8_t d[MD5_DIGEST_LENGTH];
        static const uint8_t none = 0;
        MD5(len ? data : &none, len, d);
        int carry = 0;
        for (int i = 15; i >= 0; i--) {
            int sum = digits[i] + d[i] + carry;
            digits[i] = sum % 256;
            carry = sum / 256;
        }
        needed = (long)len >= needed ? 0 : needed - (long)len;
    }
    void SeedZero()
    {
        const uint8_t z = 0;
        for (int i = 0; i < 256; i++)
            Update(&z, 1);
    }
    // Next n bytes of the stream, computing whole blocks as needed.
    std::vector<uint8_t> Take(size_t n)
    {
        while (stream.size() - next < n) {
            uint8_t c[16], d[MD5_DIGEST_LENGTH];
            for (int i = 0; i < 16; i++)
                c[i] = (uint8_t)digits[i];
            MD5(c, 16, d);
            stream.insert(stream.end(), d, d + 16);
            for (int i = 15; i >= 0; i--) {
                digits[i] = (digits[i] + 1) % 256;
                if (digits[i] != 0)
                    break;
            }
        }
        std::vector<uint8_t> out(stream.begin() + next, stream.begin() + next + n);
        next += n;
        return out;
    }
};

// Hex text (pairs of digits, nothing else) to bytes.
inline std::vector<uint8_t> ModelHex(const std::string &s)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        out.push_back((uint8_t)std::stoul(s.substr(i, 2), nullptr, 16));
    return out;
}

// First 64 bytes after the zero seeding, from randompool_oracle.py (Python integers
// and hashlib, independent of both the pool and the model above).
static const char kZeroSeedStreamHex[] = "a106cdd008c9150914938a8ca5d784b8"
                                         "e017ff36a074b8125f17fa6148c44639"
                                         "cf7ee05b679a88f3523dc1832c25d921"
                                         "c226fa3fe77b31d1bff9a80b4b7661c6";
