// The sealing envelope: a fresh DES-CBC key per envelope, sent RSA-encrypted (512-bit
// key pair shared with the Agent, PKCS #1 v1.5 type 2 padding built from the
// RandomPool). Process-wide state (key pair, pool, two stream contexts) behind one
// lock, so any thread may seal or open.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    kSealedHeadSize = 72,  // IV (8) + RSA-encrypted DES key (64)
    kSealedShortSize = 88, // head + 16 bytes of ciphertext
    kSealedShortPlain = 15,
    kSealMessagePlain = 511,
    kSealMessagePacketSize = 604, // the whole PKT_SEND_MESSAGE packet
    kSealMessageIvOffset = 20,
    kSealMessageKeyOffset = 28,
    kSealMessageTextOffset = 92,
    // Error codes the Agent uses for the same failures
    kEnvErrKey = 0x0404,
    kEnvErrLen = 0x0406,
    kEnvErrNeedRandom = 0x0408,
    kEnvErrPrivateKey = 0x0409,
    kEnvErrPublicKey = 0x040A,
    kEnvErrEncryptionAlgorithm = 0x040D,
};

// Loads the key pair from a PEM private key (both halves). Returns 1 on success.
int EnvelopeLoadKeyPem(const char *pem, size_t len);

// Seeds the process pool the classic way (256 zero bytes), then, unless extra is
// NULL, mixes in extra bytes (32 from the system's cryptographic generator at
// start-up). Tests pass NULL for the deterministic known-answer stream.
void EnvelopeSeed(const uint8_t *extra, size_t extraLen);
// Forgets the key pair, the pool's seed and both stream contexts (shutdown, tests).
void EnvelopeRelease(void);

int SealShort(uint8_t dest[kSealedShortSize], const uint8_t src[kSealedShortPlain]);
int OpenShort(const uint8_t src[kSealedShortSize], uint8_t dest[kSealedShortPlain]);
// Fills IV, key and 512 bytes of ciphertext into a whole PKT_SEND_MESSAGE packet.
int SealMessage(uint8_t packet[kSealMessagePacketSize], const uint8_t src[kSealMessagePlain]);

// Stream sealing for file data: 0 on success, else an error code above.
int SealStreamBegin(uint8_t head[kSealedHeadSize]);
// Emits whole 8-byte blocks only; final pads and flushes. Returns bytes written to
// out, which must hold len + 8 (+8 more with final).
size_t SealStreamChunk(uint8_t *out, const uint8_t *in, size_t len, int final);
// first opens head into the opening context (0 and no output when it will not open);
// the last whole block is held back until final, which checks and strips the padding.
// Returns bytes written to out, which must hold len + 8 (+8 more with final: the held
// block comes out then). A bad ending yields only what came before the last block.
size_t OpenStreamChunk(uint8_t *out, const uint8_t *in, size_t len, const uint8_t head[kSealedHeadSize], int first,
                       int final);
// The same, and *badEnd = 1 when the head would not open, no stream is open, or (final)
// the ending is ragged or badly padded: what came out must then not be trusted whole.
size_t OpenStreamChunkChecked(uint8_t *out, const uint8_t *in, size_t len, const uint8_t head[kSealedHeadSize],
                              int first, int final, int *badEnd);
