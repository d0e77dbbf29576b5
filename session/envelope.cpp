// The sealing envelope: RSA-sealed DES-CBC in the RSAREF layout, and its six
// wrappers. The key pair, the pool and both stream contexts live behind g_lock:
// the user-interface thread and the upload worker may seal at the same time.
#include "session/envelope.h"

#include "session/randompool.h"

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/des.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace {

enum {
    kModulusLen = 64,
    kDesKeyLen = 8,
    kBlock = 8,
    // 00 02, the nonzero padding, 00, then the key at the end of the block.
    kKeySeparator = kModulusLen - kDesKeyLen - 1,
};

// One direction of a DES-CBC stream.
struct CbcStream {
    int ready; // key and IV are set
    DES_key_schedule sched;
    DES_cblock iv0; // the IV the stream returns to after its final block
    DES_cblock iv;
    uint8_t part[kBlock]; // sealing: plaintext, opening: ciphertext short of a block
    size_t partLen;
    uint8_t held[kBlock]; // opening: the last plaintext block, kept for the padding check
    int hasHeld;
};

std::mutex g_lock;
RSA *g_rsa;                             // g_lock; both halves of the key pair
RandomPool g_pool = {256, {0}, 0, {0}}; // g_lock; unseeded until EnvelopeSeed
CbcStream g_seal;                       // g_lock; the upload's context
CbcStream g_open;                       // g_lock; the download's context

// DES_ncbc_encrypt takes a long, which is 32 bits on Windows.
void CbcRun(DES_key_schedule *sched, DES_cblock *iv, const uint8_t *in, uint8_t *out, size_t n, int enc)
{
    const size_t kSlice = (size_t)1 << 20;
    while (n > 0) {
        size_t step = n < kSlice ? n : kSlice;
        DES_ncbc_encrypt(in, out, (long)step, sched, iv, enc);
        in += step;
        out += step;
        n -= step;
    }
}

void ForgetStream(CbcStream *s) { OPENSSL_cleanse(s, sizeof *s); }

// Draws the DES key and IV, and writes IV and RSA-sealed key to head.
// Returns 0 or an error code; on failure *sched and *iv are left alone.
int SealHeadLocked(uint8_t head[kSealedHeadSize], DES_key_schedule *sched, DES_cblock *iv)
{
    if (!g_rsa)
        return kEnvErrPublicKey;
    if (g_pool.needed != 0)
        return kEnvErrNeedRandom;

    uint8_t key[kDesKeyLen], newIv[kBlock], block[kModulusLen], sealed[kModulusLen];
    // Key first, then IV, then the padding one byte at a time: the order that
    // makes a zero-seeded pool give the keys the Agent's known-answer tests expect.
    RandomPoolGenerate(&g_pool, key, sizeof key);
    RandomPoolGenerate(&g_pool, newIv, sizeof newIv);
    block[0] = 0x00;
    block[1] = 0x02;
    for (int i = 2; i < kKeySeparator; i++) {
        do
            RandomPoolGenerate(&g_pool, &block[i], 1);
        while (block[i] == 0);
    }
    block[kKeySeparator] = 0x00;
    memcpy(block + kKeySeparator + 1, key, sizeof key);

    int rc = kEnvErrPublicKey;
    if (RSA_public_encrypt(kModulusLen, block, sealed, g_rsa, RSA_NO_PADDING) == kModulusLen) {
        memcpy(head, newIv, kBlock);
        memcpy(head + kBlock, sealed, kModulusLen);
        // DES ignores the parity bits, so the key is used exactly as drawn.
        DES_set_key_unchecked(&key, sched);
        memcpy(*iv, newIv, kBlock);
        rc = 0;
    } else {
        ERR_clear_error();
    }
    OPENSSL_cleanse(key, sizeof key);
    OPENSSL_cleanse(block, sizeof block);
    return rc;
}

// Recovers the DES key from head with the private key. Returns 0 or an error code.
int OpenHeadLocked(const uint8_t head[kSealedHeadSize], DES_key_schedule *sched, DES_cblock *iv)
{
    if (!g_rsa)
        return kEnvErrPrivateKey;
    uint8_t block[kModulusLen];
    if (RSA_private_decrypt(kModulusLen, head + kBlock, block, g_rsa, RSA_NO_PADDING) != kModulusLen) {
        ERR_clear_error();
        return kEnvErrPrivateKey;
    }
    int rc = kEnvErrKey;
    if (block[0] == 0x00 && block[1] == 0x02) {
        int sep = 2;
        while (sep < kModulusLen && block[sep] != 0)
            sep++;
        // Only an 8-byte DES key is acceptable; this also fixes the padding at 53 bytes.
        if (sep == kKeySeparator) {
            DES_set_key_unchecked((const_DES_cblock *)(block + sep + 1), sched);
            memcpy(*iv, head, kBlock);
            rc = 0;
        }
    }
    OPENSSL_cleanse(block, sizeof block);
    return rc;
}

// Pad count of a final plaintext block, or 0 when the padding is malformed.
size_t PadCount(const uint8_t last[kBlock])
{
    const uint8_t pad = last[kBlock - 1];
    if (pad < 1 || pad > kBlock)
        return 0;
    for (size_t i = kBlock - pad; i < kBlock; i++)
        if (last[i] != pad)
            return 0;
    return pad;
}

// Encrypts a whole message with its padding: writes len - len % 8 + 8 bytes.
void SealBody(DES_key_schedule *sched, DES_cblock *iv, const uint8_t *src, size_t len, uint8_t *out)
{
    const size_t whole = len - len % kBlock;
    CbcRun(sched, iv, src, out, whole, DES_ENCRYPT);
    uint8_t last[kBlock];
    const size_t rest = len - whole;
    const uint8_t pad = (uint8_t)(kBlock - rest);
    memcpy(last, src + whole, rest);
    memset(last + rest, pad, pad);
    CbcRun(sched, iv, last, out + whole, kBlock, DES_ENCRYPT);
    OPENSSL_cleanse(last, sizeof last);
}

// Opening: decrypts one ciphertext block into held, first emitting the previous one.
size_t OpenPush(CbcStream *s, const uint8_t ct[kBlock], uint8_t *out)
{
    uint8_t plain[kBlock];
    CbcRun(&s->sched, &s->iv, ct, plain, kBlock, DES_DECRYPT);
    size_t n = 0;
    if (s->hasHeld) {
        memcpy(out, s->held, kBlock);
        n = kBlock;
    }
    memcpy(s->held, plain, kBlock);
    s->hasHeld = 1;
    OPENSSL_cleanse(plain, sizeof plain);
    return n;
}

// The end of a stream: back to the first IV with nothing buffered.
void RewindStream(CbcStream *s)
{
    memcpy(s->iv, s->iv0, kBlock);
    OPENSSL_cleanse(s->part, sizeof s->part);
    OPENSSL_cleanse(s->held, sizeof s->held);
    s->partLen = 0;
    s->hasHeld = 0;
}

int RefusePassword(char *, int, int, void *) { return -1; }

} // namespace

int EnvelopeLoadKeyPem(const char *pem, size_t len)
{
    if (!pem || len == 0 || len > INT_MAX)
        return 0;
    BIO *bio = BIO_new_mem_buf(pem, (int)len);
    if (!bio)
        return 0;
    // An encrypted key is refused rather than prompted for.
    EVP_PKEY *pkey = PEM_read_bio_PrivateKey(bio, nullptr, RefusePassword, nullptr);
    BIO_free(bio);
    RSA *rsa = pkey ? EVP_PKEY_get1_RSA(pkey) : nullptr;
    EVP_PKEY_free(pkey);
    const BIGNUM *d = nullptr;
    if (rsa)
        RSA_get0_key(rsa, nullptr, nullptr, &d);
    // The envelope layout is built around a 64-byte modulus.
    if (!rsa || RSA_size(rsa) != kModulusLen || !d) {
        RSA_free(rsa);
        ERR_clear_error();
        return 0;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    RSA_free(g_rsa);
    g_rsa = rsa;
    return 1;
}

void EnvelopeSeed(const uint8_t *extra, size_t extraLen)
{
    std::lock_guard<std::mutex> hold(g_lock);
    RandomPoolSeedZero(&g_pool);
    if (extra)
        RandomPoolUpdate(&g_pool, extra, extraLen);
}

void EnvelopeRelease(void)
{
    std::lock_guard<std::mutex> hold(g_lock);
    RSA_free(g_rsa);
    g_rsa = nullptr;
    RandomPoolInit(&g_pool);
    OPENSSL_cleanse(g_pool.state, sizeof g_pool.state);
    ForgetStream(&g_seal);
    ForgetStream(&g_open);
}

int SealShort(uint8_t dest[kSealedShortSize], const uint8_t src[kSealedShortPlain])
{
    uint8_t out[kSealedShortSize];
    DES_key_schedule sched;
    DES_cblock iv;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (SealHeadLocked(out, &sched, &iv) != 0)
            return 0;
    }
    SealBody(&sched, &iv, src, kSealedShortPlain, out + kSealedHeadSize);
    OPENSSL_cleanse(&sched, sizeof sched);
    memcpy(dest, out, sizeof out);
    return 1;
}

int OpenShort(const uint8_t src[kSealedShortSize], uint8_t dest[kSealedShortPlain])
{
    DES_key_schedule sched;
    DES_cblock iv;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (OpenHeadLocked(src, &sched, &iv) != 0)
            return 0;
    }
    uint8_t plain[kSealedShortSize - kSealedHeadSize];
    CbcRun(&sched, &iv, src + kSealedHeadSize, plain, sizeof plain, DES_DECRYPT);
    OPENSSL_cleanse(&sched, sizeof sched);
    const size_t pad = PadCount(plain + sizeof plain - kBlock);
    int ok = 0;
    if (pad != 0) {
        // The Agent always seals 15 bytes; a shorter text reads as zero-filled.
        const size_t keep = sizeof plain - pad;
        memcpy(dest, plain, keep);
        memset(dest + keep, 0, kSealedShortPlain - keep);
        ok = 1;
    }
    OPENSSL_cleanse(plain, sizeof plain);
    return ok;
}

int SealMessage(uint8_t packet[kSealMessagePacketSize], const uint8_t src[kSealMessagePlain])
{
    static_assert(kSealMessageKeyOffset - kSealMessageIvOffset == kBlock, "IV precedes the key");
    static_assert(kSealMessageTextOffset - kSealMessageIvOffset == kSealedHeadSize, "text follows the head");
    static_assert(kSealMessagePacketSize - kSealMessageTextOffset == kSealMessagePlain + 1, "one pad byte");
    uint8_t head[kSealedHeadSize];
    uint8_t text[kSealMessagePlain + 1];
    DES_key_schedule sched;
    DES_cblock iv;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (SealHeadLocked(head, &sched, &iv) != 0)
            return 0;
    }
    SealBody(&sched, &iv, src, kSealMessagePlain, text);
    OPENSSL_cleanse(&sched, sizeof sched);
    memcpy(packet + kSealMessageIvOffset, head, sizeof head);
    memcpy(packet + kSealMessageTextOffset, text, sizeof text);
    return 1;
}

int SealStreamBegin(uint8_t head[kSealedHeadSize])
{
    std::lock_guard<std::mutex> hold(g_lock);
    uint8_t out[kSealedHeadSize];
    DES_key_schedule sched;
    DES_cblock iv;
    const int rc = SealHeadLocked(out, &sched, &iv);
    ForgetStream(&g_seal);
    if (rc != 0)
        return rc;
    g_seal.sched = sched;
    memcpy(g_seal.iv0, iv, kBlock);
    memcpy(g_seal.iv, iv, kBlock);
    g_seal.ready = 1;
    OPENSSL_cleanse(&sched, sizeof sched);
    memcpy(head, out, sizeof out);
    return 0;
}

// Completes a buffered partial block from the input; returns 1 when it is whole.
static int TopUpPart(CbcStream *s, const uint8_t **in, size_t *len)
{
    if (*len == 0 || s->partLen == 0)
        return 0;
    size_t take = kBlock - s->partLen;
    if (take > *len)
        take = *len;
    memcpy(s->part + s->partLen, *in, take);
    s->partLen += take;
    *in += take;
    *len -= take;
    return s->partLen == kBlock;
}

size_t SealStreamChunk(uint8_t *out, const uint8_t *in, size_t len, int final)
{
    std::lock_guard<std::mutex> hold(g_lock);
    CbcStream *s = &g_seal;
    if (!s->ready)
        return 0;
    size_t n = 0;
    if (TopUpPart(s, &in, &len)) {
        CbcRun(&s->sched, &s->iv, s->part, out, kBlock, DES_ENCRYPT);
        n = kBlock;
        s->partLen = 0;
    }
    // Here either the input is used up or nothing is buffered.
    const size_t whole = len - len % kBlock;
    CbcRun(&s->sched, &s->iv, in, out + n, whole, DES_ENCRYPT);
    n += whole;
    if (len > whole) {
        memcpy(s->part + s->partLen, in + whole, len - whole);
        s->partLen += len - whole;
    }
    if (final) {
        const uint8_t pad = (uint8_t)(kBlock - s->partLen);
        memset(s->part + s->partLen, pad, pad);
        CbcRun(&s->sched, &s->iv, s->part, out + n, kBlock, DES_ENCRYPT);
        n += kBlock;
        RewindStream(s);
    }
    return n;
}

size_t OpenStreamChunk(uint8_t *out, const uint8_t *in, size_t len, const uint8_t head[kSealedHeadSize], int first,
                       int final)
{
    int badEnd;
    return OpenStreamChunkChecked(out, in, len, head, first, final, &badEnd);
}

size_t OpenStreamChunkChecked(uint8_t *out, const uint8_t *in, size_t len, const uint8_t head[kSealedHeadSize],
                              int first, int final, int *badEnd)
{
    std::lock_guard<std::mutex> hold(g_lock);
    *badEnd = 0;
    CbcStream *s = &g_open;
    if (first) {
        ForgetStream(s);
        DES_key_schedule sched;
        DES_cblock iv;
        if (!head || OpenHeadLocked(head, &sched, &iv) != 0) {
            *badEnd = 1;
            return 0;
        }
        s->sched = sched;
        memcpy(s->iv0, iv, kBlock);
        memcpy(s->iv, iv, kBlock);
        s->ready = 1;
        OPENSSL_cleanse(&sched, sizeof sched);
    }
    if (!s->ready) {
        *badEnd = 1;
        return 0;
    }

    size_t n = 0;
    if (TopUpPart(s, &in, &len)) {
        n += OpenPush(s, s->part, out + n);
        s->partLen = 0;
    }
    const size_t blocks = len / kBlock;
    if (blocks > 1) {
        // Bulk-decrypt all but the last block straight into out, after the held one.
        if (s->hasHeld) {
            memcpy(out + n, s->held, kBlock);
            n += kBlock;
            s->hasHeld = 0;
        }
        const size_t bulk = (blocks - 1) * kBlock;
        CbcRun(&s->sched, &s->iv, in, out + n, bulk, DES_DECRYPT);
        n += bulk;
        in += bulk;
        len -= bulk;
    }
    if (blocks > 0) {
        n += OpenPush(s, in, out + n);
        in += kBlock;
        len -= kBlock;
    }
    if (len > 0) {
        memcpy(s->part + s->partLen, in, len);
        s->partLen += len;
    }
    if (final) {
        // A ragged end, a missing last block or bad padding: keep what went out before.
        const size_t pad = (s->partLen == 0 && s->hasHeld) ? PadCount(s->held) : 0;
        if (pad != 0) {
            memcpy(out + n, s->held, kBlock - pad);
            n += kBlock - pad;
        } else {
            *badEnd = 1;
        }
        RewindStream(s);
    }
    return n;
}
