// The simulator's own view of the Agent key: loads the PEM and recovers the DES key
// of a SealedBlock with raw RSA, apart from the envelope code under test.
#pragma once
#include <cstddef>
#include <cstdint>
#include <openssl/evp.h>

// Reads the PEM file at path into *pem (malloc'd, *len bytes, zero-terminated) and
// parses it into *key. Returns 0 with a reason in err on failure.
int SimKeyLoad(const char *path, char **pem, size_t *len, EVP_PKEY **key, char *err, size_t errCap);
// RSA-decrypts the 64-byte block without padding, then strips PKCS #1 v1.5 block
// type 2 by hand; the result must be exactly 8 bytes. Returns 0 on any fault.
int SimRecoverDesKey(EVP_PKEY *key, const uint8_t block[64], uint8_t desKey[8]);
