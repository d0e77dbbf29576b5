// Command line of the Agent simulator: defaults, parsing with range checks, usage text.
#include "tools/agentsim/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef CORVID_AGENTSIM_DEFAULT_KEY
#define CORVID_AGENTSIM_DEFAULT_KEY "session/keys/agent-rsa512.pem"
#endif

void SimOptionsInit(SimOptions *o)
{
    memset(o, 0, sizeof *o);
    snprintf(o->listenAddr, sizeof o->listenAddr, "127.0.0.1");
    o->port = 21560;
    o->keyPath = CORVID_AGENTSIM_DEFAULT_KEY;
    snprintf(o->password, sizeof o->password, "secret");
    o->agentVersion = 791;
    o->osPlatform = 2;
    o->osMajor = 10;
    o->osMinor = 0;
    snprintf(o->computer, sizeof o->computer, "SIMHOST");
    o->rights = 14;
    o->blankPasswordCommunity = -1;
    o->slider = 3;
    o->screenWidth = 1024;
    o->screenHeight = 768;
    o->screenBpp = 16;
    o->screenCount = 1;
    o->screenCurrent = 1;
    o->fps = 10;
    o->ftSplit = 100;
}

const char *SimOptionsUsage(void)
{
    return "usage: agentsim [--listen ADDR] [--port N] [--control PORT|any] [--key FILE]\n"
           "                [--password TEXT] [--status N] [--agent-version N]\n"
           "                [--os-platform N] [--os-major N] [--os-minor N]\n"
           "                [--computer NAME] [--rights N] [--slider N]\n"
           "                [--screen WxHxBPP] [--screens N] [--current K] [--log FILE]\n"
           "                [--once] [--sndbuf BYTES] [--rcvbuf BYTES] [--scene demo|file:PPM|solid:RRGGBB]\n"
           "                [--fps N] [--palette default|custom] [--flood] [--flood-share PERCENT] [--cursor-follow]\n"
           "                [--settings-blank-password COMMUNITY]\n"
           "                [--files DIR] [--files2 DIR] [--ft-split N]\n";
}

// Decimal only, whole text, within [lo, hi].
static int ParseNumber(const char *s, long long lo, long long hi, long long *out)
{
    if (!s || !*s)
        return 0;
    const char *p = s;
    if (*p == '-')
        p++;
    if (*p < '0' || *p > '9')
        return 0;
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(s, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return 0;
    *out = v;
    return 1;
}

int SimParseGeometry(const char *s, uint16_t *width, uint16_t *height, uint16_t *bpp)
{
    unsigned long part[3];
    const char *p = s;
    for (int i = 0; i < 3; i++) {
        if (*p < '0' || *p > '9')
            return 0;
        char *end;
        errno = 0;
        part[i] = strtoul(p, &end, 10);
        if (errno || end - p > 6)
            return 0;
        if (i < 2 && *end != 'x')
            return 0;
        if (i == 2 && *end)
            return 0;
        p = end + (i < 2);
    }
    if (part[0] < 1 || part[0] > 65535 || part[1] < 1 || part[1] > 65535 || part[2] < 1 || part[2] > 32)
        return 0;
    *width = (uint16_t)part[0];
    *height = (uint16_t)part[1];
    *bpp = (uint16_t)part[2];
    return 1;
}

static int HexNibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static int ParseScene(const char *s, SimOptions *o)
{
    if (!strcmp(s, "demo")) {
        o->scene = kSimSceneDemo;
        return 1;
    }
    if (!strncmp(s, "file:", 5) && s[5]) {
        o->scene = kSimSceneFile;
        o->scenePath = s + 5;
        return 1;
    }
    if (strncmp(s, "solid:", 6) != 0 || strlen(s + 6) != 6)
        return 0;
    for (int i = 0; i < 3; i++) {
        int hi = HexNibble(s[6 + 2 * i]), lo = HexNibble(s[7 + 2 * i]);
        if (hi < 0 || lo < 0)
            return 0;
        o->solid[i] = (uint8_t)(hi << 4 | lo);
    }
    o->scene = kSimSceneSolid;
    return 1;
}

static int CopyText(char *dst, size_t cap, const char *src)
{
    size_t n = strlen(src);
    if (n >= cap)
        return 0;
    memcpy(dst, src, n + 1);
    return 1;
}

int SimOptionsParse(SimOptions *o, int argc, char **argv, int *wantHelp, char *err, size_t errCap)
{
    *wantHelp = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            *wantHelp = 1;
            return 1;
        }
        if (!strcmp(a, "--once")) {
            o->once = 1;
            continue;
        }
        if (!strcmp(a, "--flood")) {
            o->flood = 1;
            continue;
        }
        if (!strcmp(a, "--cursor-follow")) {
            o->cursorFollow = 1;
            continue;
        }
        if (strncmp(a, "--", 2) != 0) {
            snprintf(err, errCap, "unexpected argument '%s'", a);
            return 0;
        }
        if (i + 1 >= argc) {
            snprintf(err, errCap, "%s needs a value", a);
            return 0;
        }
        const char *v = argv[++i];
        long long n = 0;
        int ok = 1;
        if (!strcmp(a, "--listen"))
            ok = CopyText(o->listenAddr, sizeof o->listenAddr, v);
        else if (!strcmp(a, "--port")) {
            ok = ParseNumber(v, 0, 65535, &n);
            o->port = (uint32_t)n;
        } else if (!strcmp(a, "--control")) {
            ok = !strcmp(v, "any") || ParseNumber(v, 0, 65535, &n);
            o->controlPort = !strcmp(v, "any") ? kSimControlAny : (uint32_t)n;
        } else if (!strcmp(a, "--key"))
            o->keyPath = v;
        else if (!strcmp(a, "--password"))
            ok = CopyText(o->password, sizeof o->password, v);
        else if (!strcmp(a, "--status")) {
            ok = ParseNumber(v, 0, 0xFFFFFFFFll, &n);
            o->status = (uint32_t)n;
        } else if (!strcmp(a, "--agent-version")) {
            ok = ParseNumber(v, 0, 0xFFFF, &n);
            o->agentVersion = (uint16_t)n;
        } else if (!strcmp(a, "--os-platform")) {
            ok = ParseNumber(v, 0, 0xFF, &n);
            o->osPlatform = (uint8_t)n;
        } else if (!strcmp(a, "--os-major")) {
            ok = ParseNumber(v, 0, 0xFFFFFFFFll, &n);
            o->osMajor = (uint32_t)n;
        } else if (!strcmp(a, "--os-minor")) {
            ok = ParseNumber(v, INT32_MIN, INT32_MAX, &n);
            o->osMinor = (int32_t)n;
        } else if (!strcmp(a, "--computer"))
            ok = CopyText(o->computer, sizeof o->computer, v);
        else if (!strcmp(a, "--rights")) {
            ok = ParseNumber(v, 0, 0xFFFFFFFFll, &n);
            o->rights = (uint32_t)n;
        } else if (!strcmp(a, "--slider")) {
            ok = ParseNumber(v, 0, 0xFFFFFFFFll, &n);
            o->slider = (uint32_t)n;
        } else if (!strcmp(a, "--screen"))
            ok = SimParseGeometry(v, &o->screenWidth, &o->screenHeight, &o->screenBpp);
        else if (!strcmp(a, "--scene"))
            ok = ParseScene(v, o);
        else if (!strcmp(a, "--fps")) {
            ok = ParseNumber(v, 0, kSimFpsMax, &n);
            o->fps = (uint32_t)n;
        } else if (!strcmp(a, "--flood-share")) {
            ok = ParseNumber(v, 1, 100, &n);
            o->floodShare = (int)n;
            o->flood = 1;
        } else if (!strcmp(a, "--palette")) {
            ok = !strcmp(v, "default") || !strcmp(v, "custom");
            o->customPalette = !strcmp(v, "custom");
        } else if (!strcmp(a, "--screens")) {
            ok = ParseNumber(v, 1, 255, &n);
            o->screenCount = (uint8_t)n;
        } else if (!strcmp(a, "--current")) {
            ok = ParseNumber(v, 0, 255, &n);
            o->screenCurrent = (uint8_t)n;
        } else if (!strcmp(a, "--log"))
            o->logPath = v;
        else if (!strcmp(a, "--sndbuf")) {
            ok = ParseNumber(v, 0, 1 << 24, &n);
            o->sendBuffer = (uint32_t)n;
        } else if (!strcmp(a, "--settings-blank-password")) {
            ok = ParseNumber(v, 0, 3, &n);
            o->blankPasswordCommunity = (int)n;
        } else if (!strcmp(a, "--files"))
            o->filesRoot[0] = v;
        else if (!strcmp(a, "--files2"))
            o->filesRoot[1] = v;
        else if (!strcmp(a, "--ft-split")) {
            ok = ParseNumber(v, 1, 100000, &n);
            o->ftSplit = (uint32_t)n;
        } else if (!strcmp(a, "--rcvbuf")) {
            ok = ParseNumber(v, 0, 1 << 24, &n);
            o->receiveBuffer = (uint32_t)n;
        } else {
            snprintf(err, errCap, "unknown option %s", a);
            return 0;
        }
        if (!ok) {
            snprintf(err, errCap, "bad value '%s' for %s", v, a);
            return 0;
        }
    }
    return 1;
}
