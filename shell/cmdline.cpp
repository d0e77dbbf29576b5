// Command-line tokens of the viewer: splitting, the target and option tokens, and the
// per-host names derived from the target. Portable; runs once on the UI thread at start.
#include "shell/cmdline.h"

#include "shell/hex.h"

#include <cstdio>
#include <cstring>

int SplitCommandLine(char *text, char **tokens, int maxTokens)
{
    int count = 0;
    char *p = text;
    while (count < maxTokens) {
        while (*p == ' ' || *p == '\t')
            p++;
        if (!*p)
            break;
        tokens[count] = p;
        while (*p && *p != ' ' && *p != '\t')
            p++;
        count++;
        if (!*p)
            break;
        *p++ = 0;
    }
    return count;
}

void TargetOptionsInit(TargetOptions *opt)
{
    memset(opt, 0, sizeof(*opt));
    opt->protocol = PROTO_NONE;
}

static int EqualNoCase(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (x >= 'a' && x <= 'z')
            x = (unsigned char)(x - 32);
        if (y >= 'a' && y <= 'z')
            y = (unsigned char)(y - 32);
        if (x != y)
            return 0;
    }
    return 1;
}

uint32_t ParseInetAddr(const char *text)
{
    uint32_t parts[4];
    int n = 0;
    const char *p = text;
    for (;;) {
        if (n == 4 || !(*p >= '0' && *p <= '9'))
            return 0xFFFFFFFFu;
        uint64_t v = 0;
        int base = 10;
        if (*p == '0') {
            base = 8;
            p++;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                p++;
                // A bare "0x" is no number (inet_addr refuses "0x" and "0x.1").
                if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F')))
                    return 0xFFFFFFFFu;
            }
        }
        for (;; p++) {
            int d;
            if (*p >= '0' && *p <= '9')
                d = *p - '0';
            else if (base == 16 && *p >= 'a' && *p <= 'f')
                d = *p - 'a' + 10;
            else if (base == 16 && *p >= 'A' && *p <= 'F')
                d = *p - 'A' + 10;
            else
                break;
            if (d >= base)
                return 0xFFFFFFFFu;
            v = v * (uint64_t)base + (uint64_t)d;
            if (v > 0xFFFFFFFFu)
                return 0xFFFFFFFFu;
        }
        parts[n++] = (uint32_t)v;
        if (*p == '.') {
            p++;
            continue;
        }
        // inet_addr ends the address at the first white space and ignores the rest.
        if (*p && !(*p == ' ' || (*p >= '\t' && *p <= '\r')))
            return 0xFFFFFFFFu;
        break;
    }
    // The last part fills all remaining bytes, as with inet_addr.
    uint32_t host;
    switch (n) {
    case 1:
        host = parts[0];
        break;
    case 2:
        if (parts[0] > 255 || parts[1] > 0xFFFFFF)
            return 0xFFFFFFFFu;
        host = parts[0] << 24 | parts[1];
        break;
    case 3:
        if (parts[0] > 255 || parts[1] > 255 || parts[2] > 0xFFFF)
            return 0xFFFFFFFFu;
        host = parts[0] << 24 | parts[1] << 16 | parts[2];
        break;
    default:
        if (parts[0] > 255 || parts[1] > 255 || parts[2] > 255 || parts[3] > 255)
            return 0xFFFFFFFFu;
        host = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
        break;
    }
    uint8_t b[4] = {(uint8_t)(host >> 24), (uint8_t)(host >> 16), (uint8_t)(host >> 8), (uint8_t)host};
    uint32_t net;
    memcpy(&net, b, 4);
    return net;
}

void FormatInetAddr(char *out, uint32_t ipv4)
{
    uint8_t b[4];
    memcpy(b, &ipv4, 4);
    snprintf(out, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

static int ApplySpxToken(TargetOptions *opt, char *token)
{
    token[12] = 0;
    for (char *p = token; *p; p++)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 32);
    for (char *p = token + 13; *p; p++)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 32);
    uint8_t net[4], node[6];
    char back[13];
    if (!HexToBytes(token + 4, net, 4) || !HexToBytes(token + 13, node, 6))
        return 0;
    // The round trip is the digit check: junk characters do not come back unchanged.
    BytesToHex4(back, net);
    if (strcmp(back, token + 4) != 0)
        return 0;
    BytesToHex6(back, node);
    if (strcmp(back, token + 13) != 0)
        return 0;
    memcpy(opt->ipxNet, net, 4);
    memcpy(opt->ipxNode, node, 6);
    opt->protocol = PROTO_SPX;
    return 1;
}

int ApplyCommandToken(TargetOptions *opt, char *token)
{
    size_t len = strlen(token);
    if (len == 7 && EqualNoCase(token, "SLOWNET", 7)) {
        opt->slowNet = 1;
        return 1;
    }
    if (len == 4 && EqualNoCase(token, "CTRL", 4)) {
        opt->ctrl = 1;
        return 1;
    }
    if (len == 6 && EqualNoCase(token, "RETPWD", 6)) {
        opt->retPwd = 1;
        return 1;
    }
    if (len > 4 && EqualNoCase(token, "PWD=", 4)) {
        // Cleared first so that a shorter password never carries bytes of an
        // earlier one into the sealed 15 bytes.
        memset(opt->password, 0, sizeof(opt->password));
        if (len < 19)
            memcpy(opt->password, token + 4, len - 4);
        else
            memcpy(opt->password, token + 4, 15);
        return 1;
    }
    if (len > 4 && EqualNoCase(token, "TCP=", 4)) {
        uint32_t a = ParseInetAddr(token + 4);
        if (a == 0xFFFFFFFFu)
            return 0;
        opt->ipv4 = a;
        opt->protocol = PROTO_TCP;
        return 1;
    }
    if (len == 25 && token[12] == ':' && EqualNoCase(token, "SPX=", 4))
        return ApplySpxToken(opt, token);
    return 0;
}

int BuildHostText(TargetOptions *opt)
{
    if (opt->protocol == PROTO_TCP) {
        FormatInetAddr(opt->hostText, opt->ipv4);
        return 1;
    }
    if (opt->protocol == PROTO_SPX) {
        BytesToHex4(opt->hostText, opt->ipxNet);
        opt->hostText[8] = ':';
        BytesToHex6(opt->hostText + 9, opt->ipxNode);
        return 1;
    }
    opt->hostText[0] = 0;
    return 0;
}

void BuildViewerNames(const TargetOptions *opt, ViewerNames *names)
{
    if (opt->protocol == PROTO_SPX)
        snprintf(names->instanceName, kNameSize, "CORVIDS:SPX:%s", opt->hostText);
    else
        snprintf(names->instanceName, kNameSize, "CORVIDS:TCP:%s", opt->hostText);
    snprintf(names->mainTitle, kNameSize, CORVID_PRODUCT_TEXT " - [%s]", opt->hostText);
    snprintf(names->consoleTitle, kNameSize, CORVID_PRODUCT_TEXT " Full-screen console - [%s]", opt->hostText);
    snprintf(names->fileTransferTitle, kNameSize, CORVID_PRODUCT_TEXT " File Transfer - [%s]", opt->hostText);
}
