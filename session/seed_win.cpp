// Start-up of the envelope: the embedded key pair and the random pool's seed. UI thread,
// before any worker exists.
#include "session/seed_win.h"

#include "lang/stringids.h"
#include "session/agentkey.h"
#include "session/envelope.h"
#include "shell/log_win.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>

int EnvelopeSeedAtStart(void)
{
    if (!EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen)) {
        WriteLogString(IDS_KEY_UNAVAILABLE);
        return 0;
    }
    // Without this the keys of every session would follow from the zero seeding
    // alone; the wire format does not change.
    unsigned char extra[32];
    NTSTATUS st = BCryptGenRandom(NULL, extra, sizeof(extra), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (st != 0) {
        WriteLogString(IDS_WEAK_RANDOM);
        EnvelopeSeed(NULL, 0);
    } else {
        EnvelopeSeed(extra, sizeof(extra));
    }
    SecureZeroMemory(extra, sizeof(extra));
    return 1;
}
