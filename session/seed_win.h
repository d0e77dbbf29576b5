// Start-up of the envelope: the embedded key pair and the random pool's seed.
#pragma once

// Loads the key and seeds the pool (classic seeding plus 32 bytes from the system's
// cryptographic generator). Returns 0, after logging, when the key cannot be loaded.
int EnvelopeSeedAtStart(void);
