// What the simulated Agent does with each packet from the viewer: log it decoded,
// and answer login and client information as the opening sequence requires; and the
// clipboard chunks it sends; the Agent settings asked for and sent back; the file service.
#include "tools/agentsim/session.h"

#include <cstdio>
#include <cstring>

#include <openssl/evp.h>

#include "session/envelope.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/input.h"
#include "tools/agentsim/jsonlog.h"
#include "tools/agentsim/pktnames.h"

enum { kHexLogMax = 256 };

void SimSessionInit(SimSession *s, const SimOptions *opt, EVP_PKEY *key, SimDesktop *desk, SimFiles *files)
{
    s->files = files;
    if (files)
        SimFilesNewConnection(files);
    s->opt = opt;
    s->desk = desk;
    s->key = key;
    s->loginReplies = 0;
    s->loggedIn = 0;
    s->inputEvents = 0;
    s->clipSync = 0;
    s->clip = ClipAssembly{};
    s->clipText.clear();
    SimSettingsReset(&s->settings);
    SimConsoleInit(&s->console);
}

void SimLogError(std::string *log, const char *what)
{
    JsonLine j;
    JsonBegin(&j, "error");
    JsonCStr(&j, "what", what);
    *log += JsonEnd(&j);
}

static void PacketFields(JsonLine *j, const SessPacketHeader *h)
{
    JsonBegin(j, "packet");
    JsonUint(j, "type", h->dwType);
    JsonCStr(j, "name", SimPacketName(h->dwType));
    JsonUint(j, "len", h->dwDataLen);
    JsonUint(j, "required", h->dwRequired);
}

// Logs the packet with its payload in hex, then an error; nothing is answered.
static int Refuse(const SessPacketHeader *h, const uint8_t *payload, uint32_t expected, SimOutput *out)
{
    JsonLine j;
    PacketFields(&j, h);
    JsonHex(&j, "payload", payload, h->dwDataLen, kHexLogMax);
    out->log += JsonEnd(&j);
    char what[160];
    snprintf(what, sizeof what, "%s with dwDataLen %u, expected %u; not answered", SimPacketName(h->dwType),
             (unsigned)h->dwDataLen, (unsigned)expected);
    SimLogError(&out->log, what);
    return 0;
}

void SimAppendPacket(uint32_t type, const uint8_t *payload, size_t len, std::vector<uint8_t> *out)
{
    uint8_t hdr[kPacketHeaderSize];
    SessPacketHeader h = {type, (uint32_t)len, 1};
    EncodePacketHeader(&h, hdr, sizeof hdr);
    out->insert(out->end(), hdr, hdr + sizeof hdr);
    out->insert(out->end(), payload, payload + len);
}

size_t SimAppendLoginReply(const SimOptions *opt, uint32_t status, std::vector<uint8_t> *out)
{
    uint8_t p[kLoginReplyLen] = {0};
    PutU32LE(p + 0, status);
    PutU16LE(p + 4, opt->agentVersion);
    p[6] = opt->osPlatform;
    PutU32LE(p + 7, opt->osMajor);
    PutU32LE(p + 11, (uint32_t)opt->osMinor);
    // The name field is 16 bytes and always keeps its terminator: names are at most 15.
    memcpy(p + 15, opt->computer, strnlen(opt->computer, kSimComputerNameMax));
    PutU32LE(p + 31, opt->rights);
    PutU32LE(p + 35, opt->slider);
    const size_t len = opt->loginReplyLen && opt->loginReplyLen < sizeof p ? opt->loginReplyLen : sizeof p;
    SimAppendPacket(PKT_LOGIN_REPLY, p, len, out);
    return kPacketHeaderSize + len;
}

size_t SimAppendScreenInfo(const SimOptions *opt, std::vector<uint8_t> *out)
{
    uint8_t p[kScreenInfoLen];
    PutU16LE(p + 0, opt->screenWidth);
    PutU16LE(p + 2, opt->screenHeight);
    PutU16LE(p + 4, 1); // planes
    PutU16LE(p + 6, opt->screenBpp);
    PutU16LE(p + 8, opt->screenBpp); // display depth
    p[10] = opt->screenCount;
    p[11] = opt->screenCurrent;
    SimAppendPacket(PKT_SCREEN_INFO, p, sizeof p, out);
    return kPacketHeaderSize + sizeof p;
}

static int HandleLogin(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != kLoginLen)
        return Refuse(h, payload, kLoginLen, out);
    uint8_t opened[kSealedShortPlain];
    int openOk = OpenShort(payload, opened);
    uint8_t want[kSealedShortPlain] = {0};
    memcpy(want, s->opt->password, strnlen(s->opt->password, kSimPasswordMax));
    int passwordOk = openOk && memcmp(opened, want, sizeof want) == 0;
    uint32_t status = passwordOk ? s->opt->status : 1;

    JsonLine j;
    PacketFields(&j, h);
    JsonBool(&j, "open_ok", openOk);
    JsonBool(&j, "password_ok", passwordOk);
    if (openOk)
        JsonStr(&j, "password", (const char *)opened, strnlen((const char *)opened, sizeof opened));
    else
        JsonNull(&j, "password");
    JsonHex(&j, "iv", payload, 8, 8);
    uint8_t desKey[8];
    if (s->key && SimRecoverDesKey(s->key, payload + 8, desKey))
        JsonHex(&j, "des_key", desKey, 8, 8);
    else
        JsonNull(&j, "des_key");
    JsonUint(&j, "status", status);
    out->log += JsonEnd(&j);

    size_t at = out->reply.size();
    SimAppendLoginReply(s->opt, status, &out->reply);
    SimLogSent(&out->log, out->reply.data() + at, out->reply.size() - at);
    s->loginReplies++;
    s->loggedIn = status == 0;
    return 1;
}

static int HandleClientInfo(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != kClientInfoLen)
        return Refuse(h, payload, kClientInfoLen, out);
    JsonLine j;
    PacketFields(&j, h);
    JsonUint(&j, "planes", GetU16LE(payload + 0));
    JsonUint(&j, "bpp", GetU16LE(payload + 2));
    JsonUint(&j, "slownet", GetU32LE(payload + 4));
    JsonUint(&j, "version", GetU16LE(payload + 8));
    JsonUint(&j, "tail", GetU16LE(payload + 10));
    JsonBool(&j, "logged_in", s->loggedIn);
    out->log += JsonEnd(&j);

    size_t at = out->reply.size();
    SimAppendScreenInfo(s->opt, &out->reply);
    if (s->opt->screenBpp == 8)
        SimAppendPalette(s->opt, &out->reply);
    SimLogSent(&out->log, out->reply.data() + at, out->reply.size() - at);
    if (s->desk) {
        std::string why;
        int served = DesktopStart(s->desk, s->opt, &why);
        JsonBegin(&j, "desktop");
        JsonUint(&j, "width", s->opt->screenWidth);
        JsonUint(&j, "height", s->opt->screenHeight);
        JsonUint(&j, "depth", s->opt->screenBpp);
        JsonBool(&j, "served", served);
        if (!served)
            JsonCStr(&j, "why", why.c_str());
        out->log += JsonEnd(&j);
    }
    return 1;
}

// PKT_VIEW_GRID and PKT_SCREEN_REFRESH_RECT: the tiles the viewer shows.
static int HandleRange(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != kViewGridLen)
        return Refuse(h, payload, kViewGridLen, out);
    JsonLine j;
    PacketFields(&j, h);
    JsonUint(&j, "first_column", payload[0]);
    JsonUint(&j, "column_count", payload[1]);
    JsonUint(&j, "first_row", payload[2]);
    JsonUint(&j, "row_count", payload[3]);
    out->log += JsonEnd(&j);
    if (s->desk)
        DesktopSetRange(s->desk, payload, h->dwType == PKT_VIEW_GRID);
    return 1;
}

// Fixed 4-byte payloads that hold one u32.
static int IsU32Type(uint32_t type)
{
    return type == PKT_SESSION_STAMP || type == PKT_SET_SWITCH || type == PKT_SET_CLIPBOARD_SYNC ||
           type == PKT_SET_LEVEL;
}

// Values the viewer never sends: the level slider stops at 7, the switches are 0 or 1.
static uint32_t U32Max(uint32_t type)
{
    return type == PKT_SET_LEVEL ? 7 : type == PKT_SESSION_STAMP ? 0xFFFFFFFFu : 1;
}

static int HandleU32(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != 4)
        return Refuse(h, payload, 4, out);
    const uint32_t v = GetU32LE(payload);
    JsonLine j;
    PacketFields(&j, h);
    JsonUint(&j, h->dwType == PKT_SESSION_STAMP ? "stamp" : "value", v);
    if (h->dwType == PKT_SET_CLIPBOARD_SYNC)
        JsonBool(&j, "on", v == 1);
    out->log += JsonEnd(&j);
    if (h->dwType == PKT_SET_CLIPBOARD_SYNC && v <= 1)
        s->clipSync = (int)v;
    if (v <= U32Max(h->dwType))
        return 1;
    char what[120];
    snprintf(what, sizeof what, "%s value %u is over %u", SimPacketName(h->dwType), (unsigned)v,
             (unsigned)U32Max(h->dwType));
    SimLogError(&out->log, what);
    return 0;
}

// Mouse events answered with the pointer's new place when cursor-follow is on; the
// wheel carries no position.
static int HandleInput(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    SimInput in;
    if (!SimDecodeInput(payload, h->dwDataLen, &in))
        return Refuse(h, payload, kInputEventLen, out);
    JsonLine j;
    PacketFields(&j, h);
    SimInputFields(&j, &in);
    out->log += JsonEnd(&j);
    s->inputEvents++;
    if (s->opt->cursorFollow && in.kind == kSimInputIsMouse && in.code != kSimInputWheel) {
        uint8_t p[kCursorPosLen];
        PutU32LE(p, in.x);
        PutU32LE(p + 4, in.y);
        size_t at = out->reply.size();
        SimAppendPacket(PKT_CURSOR_POS, p, sizeof p, &out->reply);
        SimLogSent(&out->log, out->reply.data() + at, out->reply.size() - at);
    }
    // A shell behind the console writes what is typed back into its screen.
    const size_t at = out->reply.size();
    const int rows = SimConsoleEcho(&s->console, &in, &out->reply);
    if (rows) {
        JsonLine e;
        JsonBegin(&e, "console_echo");
        JsonUint(&e, "vk", in.vk);
        JsonUint(&e, "rows", (uint64_t)rows);
        JsonUint(&e, "cursor_x", (uint64_t)s->console.cursorX);
        JsonUint(&e, "cursor_y", (uint64_t)s->console.cursorY);
        out->log += JsonEnd(&e);
        SimLogSent(&out->log, out->reply.data() + at, out->reply.size() - at);
    }
    return 1;
}

static int HandleAgentKeys(const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != 0)
        return Refuse(h, payload, 0, out);
    JsonLine j;
    PacketFields(&j, h);
    out->log += JsonEnd(&j);
    return 1;
}

// A screen from 1 to the count announced becomes the current one; anything else is
// logged as the viewer's fault and changes nothing.
static int HandleSelectScreen(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != kSelectScreenLen)
        return Refuse(h, payload, kSelectScreenLen, out);
    uint32_t number = 0;
    int ok = ParseSelectScreen(h, payload, &number) && number <= s->opt->screenCount;
    int tailZero = 1;
    for (uint32_t i = 1; i < kSelectScreenLen; i++)
        tailZero &= payload[i] == 0;
    JsonLine j;
    PacketFields(&j, h);
    JsonUint(&j, "screen", payload[0]);
    JsonUint(&j, "count", s->opt->screenCount);
    JsonBool(&j, "applied", ok);
    JsonHex(&j, "payload", payload, h->dwDataLen, kHexLogMax);
    out->log += JsonEnd(&j);
    char what[120];
    if (!tailZero)
        SimLogError(&out->log, "PKT_SELECT_SCREEN bytes 1 to 15 are not zero");
    if (!ok) {
        snprintf(what, sizeof what, "PKT_SELECT_SCREEN chose screen %u of %u; ignored", (unsigned)payload[0],
                 (unsigned)s->opt->screenCount);
        SimLogError(&out->log, what);
        return 0;
    }
    out->screen = number;
    return 1;
}

uint32_t SimAppendClipText(const uint8_t *text, uint32_t len, std::vector<uint8_t> *out)
{
    if (len == 0) {
        uint8_t head[kClipChunkHead] = {0};
        PutU32LE(head + 8, 1); // total 0, index 0, count 1, length 0
        SimAppendPacket(PKT_CLIPBOARD_TEXT, head, sizeof head, out);
        return 1;
    }
    const uint32_t count = ClipChunkCount(len);
    for (uint32_t i = 0; i < count; i++) {
        const size_t at = out->size();
        out->resize(at + kPacketHeaderSize + kClipChunkHead + kClipChunkMax);
        out->resize(at + BuildClipChunk(text, len, i, out->data() + at, out->size() - at));
    }
    return count;
}

void SimRandomText(uint64_t seed, uint32_t n, std::vector<uint8_t> *out)
{
    out->clear();
    out->reserve(n);
    uint64_t state = seed;
    while (out->size() < n) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull); // splitmix64
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        if (z % 40 == 0 && n - out->size() >= 2) {
            out->push_back('\r');
            out->push_back('\n');
        } else {
            out->push_back((uint8_t)(0x20 + (z >> 8) % 95));
        }
    }
}

void SimLogClipText(std::string *log, const char *ev, const uint8_t *text, uint32_t len)
{
    uint8_t digest[32];
    unsigned int dlen = 0;
    JsonLine j;
    JsonBegin(&j, ev);
    JsonUint(&j, "length", len);
    JsonUint(&j, "chunks", len ? ClipChunkCount(len) : 1);
    if (EVP_Digest(text, len, digest, &dlen, EVP_sha256(), nullptr))
        JsonHex(&j, "sha256", digest, dlen, sizeof digest);
    else
        JsonNull(&j, "sha256");
    JsonStr(&j, "text", (const char *)text, len < kSimClipLogMax ? len : kSimClipLogMax);
    if (len > kSimClipLogMax)
        JsonBool(&j, "text_cut", 1);
    *log += JsonEnd(&j);
}

// Chunks of the viewer's clipboard, collected in order the way the viewer collects the
// Agent's; a refused or misplaced chunk drops the text, as it would there.
static int HandleClipChunk(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    ClipChunk c;
    const char *why = "";
    const int parsed = ParseClipChunk(h, payload, &c, &why);
    JsonLine j;
    PacketFields(&j, h);
    if (h->dwDataLen >= kClipChunkHead) {
        JsonUint(&j, "total", GetU32LE(payload));
        JsonUint(&j, "index", GetU32LE(payload + 4));
        JsonUint(&j, "count", GetU32LE(payload + 8));
        JsonUint(&j, "length", GetU32LE(payload + 12));
    }
    JsonBool(&j, "sync", s->clipSync);
    uint32_t offset = 0;
    int begin = 0, last = 0;
    const int placed = parsed && ClipAssemblyPlace(&s->clip, &c, &offset, &begin, &last);
    JsonBool(&j, "accepted", placed);
    if (!parsed) {
        JsonCStr(&j, "refused", why);
        JsonHex(&j, "payload", payload, h->dwDataLen, kHexLogMax);
    }
    out->log += JsonEnd(&j);
    char what[160];
    if (!placed) {
        s->clip.active = 0;
        s->clipText.clear();
        if (parsed)
            snprintf(what, sizeof what, "PKT_CLIPBOARD_TEXT chunk %u of %u out of its place; the text is dropped",
                     (unsigned)c.index, (unsigned)c.count);
        else
            snprintf(what, sizeof what, "PKT_CLIPBOARD_TEXT refused: %s; the text is dropped", why);
        SimLogError(&out->log, what);
        return 0;
    }
    if (begin)
        s->clipText.assign(c.total, 0);
    if (c.length)
        memcpy(s->clipText.data() + offset, c.data, c.length);
    if (last) {
        SimLogClipText(&out->log, "clipboard", s->clipText.data(), c.total);
        s->clipText.clear();
    }
    // The viewer sends its clipboard only while the exchange is on.
    if (!s->clipSync)
        SimLogError(&out->log, "PKT_CLIPBOARD_TEXT while clipboard exchange is off");
    return s->clipSync;
}

// PKT_SEND_MESSAGE: the text opened with the Agent's key, the icon and the time-out.
static int HandleMessage(const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != kSendMessageLen)
        return Refuse(h, payload, kSendMessageLen, out);
    const uint32_t timeout = GetU32LE(payload), icon = GetU32LE(payload + 4);
    const uint8_t *sealed = payload + kSealMessageIvOffset - kPacketHeaderSize;
    const uint8_t *cipher = payload + kSealMessageTextOffset - kPacketHeaderSize;
    const size_t cipherLen = kSendMessageLen - (kSealMessageTextOffset - kPacketHeaderSize);
    uint8_t plain[cipherLen + 16];
    const int opened = OpenStreamChunk(plain, cipher, cipherLen, sealed, 1, 1) == kSealMessagePlain;
    const size_t textLen = opened ? strnlen((const char *)plain, kSealMessagePlain) : 0;
    int tailZero = 1;
    for (size_t i = textLen; opened && i < kSealMessagePlain; i++)
        tailZero &= plain[i] == 0;
    JsonLine j;
    PacketFields(&j, h);
    JsonUint(&j, "timeout", timeout);
    JsonUint(&j, "icon", icon);
    JsonBool(&j, "open_ok", opened);
    if (opened)
        JsonStr(&j, "text", (const char *)plain, textLen);
    else
        JsonNull(&j, "text");
    out->log += JsonEnd(&j);
    // What the viewer never sends: an unsealed text, an empty one, bytes after its end,
    // an icon other than the four message-box icons.
    const char *fault = nullptr;
    if (!opened)
        fault = "PKT_SEND_MESSAGE text does not open with the Agent key";
    else if (textLen == 0)
        fault = "PKT_SEND_MESSAGE with an empty text";
    else if (!tailZero)
        fault = "PKT_SEND_MESSAGE text not followed by zero bytes";
    else if (icon != 64 && icon != 48 && icon != 32 && icon != 16)
        fault = "PKT_SEND_MESSAGE icon is not 64, 48, 32 or 16";
    if (!fault)
        return 1;
    SimLogError(&out->log, fault);
    return 0;
}

// PKT_GET_AGENT_SETTINGS: the settings as an Agent of the simulated version sends them.
static int HandleGetSettings(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwDataLen != 0)
        return Refuse(h, payload, 0, out);
    JsonLine j;
    PacketFields(&j, h);
    out->log += JsonEnd(&j);
    const size_t at = out->reply.size();
    if (!s->settings.built) {
        SimSettingsBuiltIn(&s->settings.held);
        s->settings.built = 1;
        const int blank = s->opt->blankPasswordCommunity;
        if (blank >= 0 && blank < (int)kAsCommunities)
            for (AsProtocolBlock &b : s->settings.held.communities[blank].protocol)
                memset(b.password, 0, sizeof b.password);
    }
    if (!SimAnswerSettings(&s->settings, s->opt->agentVersion, &out->log, &out->reply)) {
        out->reply.resize(at);
        SimLogError(&out->log, "PKT_GET_AGENT_SETTINGS not answered: a password could not be sealed");
        return 0;
    }
    SimLogSent(&out->log, out->reply.data() + at, out->reply.size() - at);
    return 1;
}

static int IsSettingsType(uint32_t type)
{
    return type == PKT_AGENT_SETTINGS_COMMON || type == PKT_AGENT_SETTINGS_COMMUNITIES ||
           type == PKT_AGENT_SETTINGS_STRING || type == PKT_AGENT_SETTINGS_NODE_LISTS ||
           type == PKT_AGENT_SETTINGS_FLAG;
}

int SimHandlePacket(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out)
{
    if (h->dwType == PKT_GET_AGENT_SETTINGS)
        return HandleGetSettings(s, h, payload, out);
    if (IsSettingsType(h->dwType))
        return SimReceiveSettings(&s->settings, s->opt->agentVersion, h, payload, &out->log);
    if (h->dwType == PKT_LOGIN)
        return HandleLogin(s, h, payload, out);
    if (h->dwType == PKT_CLIENT_INFO)
        return HandleClientInfo(s, h, payload, out);
    if (IsU32Type(h->dwType))
        return HandleU32(s, h, payload, out);
    if (h->dwType == PKT_CLIPBOARD_TEXT)
        return HandleClipChunk(s, h, payload, out);
    if (h->dwType == PKT_SEND_MESSAGE)
        return HandleMessage(h, payload, out);
    if (h->dwType == PKT_VIEW_GRID || h->dwType == PKT_SCREEN_REFRESH_RECT)
        return HandleRange(s, h, payload, out);
    if (h->dwType == PKT_INPUT_EVENT)
        return HandleInput(s, h, payload, out);
    if (h->dwType == PKT_AGENT_KEYS)
        return HandleAgentKeys(h, payload, out);
    if (h->dwType == PKT_SELECT_SCREEN)
        return HandleSelectScreen(s, h, payload, out);
    if (s->files && SimFilesIsType(h->dwType))
        return SimFilesHandle(s->files, h, payload, &out->log, &out->reply);
    JsonLine j;
    PacketFields(&j, h);
    JsonHex(&j, "payload", payload, h->dwDataLen, kHexLogMax);
    if (h->dwDataLen > kHexLogMax)
        JsonBool(&j, "payload_cut", 1);
    out->log += JsonEnd(&j);
    return 1;
}

void SimLogSent(std::string *log, const uint8_t *bytes, size_t len)
{
    // Only describe packet by packet when the bytes split exactly into whole ones.
    size_t off = 0;
    int whole = len > 0;
    while (whole && off < len) {
        SessPacketHeader h;
        if (!DecodePacketHeader(bytes + off, len - off, &h) || h.dwDataLen > len - off - kPacketHeaderSize)
            whole = 0;
        else
            off += kPacketHeaderSize + h.dwDataLen;
    }
    JsonLine j;
    if (!whole) {
        JsonBegin(&j, "sent_raw");
        JsonUint(&j, "len", len);
        *log += JsonEnd(&j);
        return;
    }
    for (off = 0; off < len;) {
        SessPacketHeader h;
        DecodePacketHeader(bytes + off, len - off, &h);
        JsonBegin(&j, "sent");
        JsonUint(&j, "type", h.dwType);
        JsonCStr(&j, "name", SimPacketName(h.dwType));
        JsonUint(&j, "len", h.dwDataLen);
        JsonUint(&j, "required", h.dwRequired);
        *log += JsonEnd(&j);
        off += kPacketHeaderSize + h.dwDataLen;
    }
}
