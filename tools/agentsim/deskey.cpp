// PEM loading and raw-RSA recovery of an envelope's DES key. Independent of the
// envelope code, so the log can show which key each login used.
#include "tools/agentsim/deskey.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int SimKeyLoad(const char *path, char **pem, size_t *len, EVP_PKEY **key, char *err, size_t errCap)
{
    *pem = nullptr;
    *len = 0;
    *key = nullptr;
    FILE *f = fopen(path, "rb");
    if (!f) {
        snprintf(err, errCap, "cannot open key file %s: %s", path, strerror(errno));
        return 0;
    }
    // A 512-bit key in PEM is well under 1 KiB; anything near the cap is not one.
    enum { kCap = 16384 };
    char *buf = (char *)malloc(kCap + 1);
    size_t n = buf ? fread(buf, 1, kCap + 1, f) : 0;
    fclose(f);
    if (!buf || n == 0 || n > kCap) {
        snprintf(err, errCap, "key file %s is empty or too large", path);
        free(buf);
        return 0;
    }
    buf[n] = 0;
    BIO *bio = BIO_new_mem_buf(buf, (int)n);
    EVP_PKEY *k = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    if (!k || EVP_PKEY_get_base_id(k) != EVP_PKEY_RSA || EVP_PKEY_get_bits(k) != 512) {
        snprintf(err, errCap, "key file %s does not hold a 512-bit RSA private key", path);
        EVP_PKEY_free(k);
        free(buf);
        return 0;
    }
    *pem = buf;
    *len = n;
    *key = k;
    return 1;
}

int SimRecoverDesKey(EVP_PKEY *key, const uint8_t block[64], uint8_t desKey[8])
{
    uint8_t plain[64];
    size_t outLen = sizeof plain;
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
    int ok = ctx && EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) > 0 &&
             EVP_PKEY_decrypt(ctx, plain, &outLen, block, 64) > 0 && outLen == 64;
    EVP_PKEY_CTX_free(ctx);
    if (!ok) {
        ERR_clear_error(); // a hostile block (value above the modulus) lands here
        return 0;
    }
    // 00 02 <at least 8 nonzero> 00 <key>
    if (plain[0] != 0 || plain[1] != 2)
        return 0;
    size_t i = 2;
    while (i < 64 && plain[i] != 0)
        i++;
    if (i == 64 || i - 2 < 8 || 64 - (i + 1) != 8)
        return 0;
    memcpy(desKey, plain + i + 1, 8);
    return 1;
}
