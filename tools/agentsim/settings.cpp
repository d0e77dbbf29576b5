// The simulated Agent's settings: the built-in set, the answer to PKT_GET_AGENT_SETTINGS
// packed by the viewer's own code, and the viewer's settings packets checked against what
// an Agent expects and logged decoded.
#include "tools/agentsim/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session/envelope.h"
#include "tools/agentsim/jsonlog.h"
#include "tools/agentsim/pktnames.h"

enum : uint32_t {
    kBlocks = kAsCommunities * kAsProtocols,
    kLongCommunityNodes = 400, // of about 90 characters: two packets
    kHexLogMax = 256,
};

SimSettings::~SimSettings()
{
    AsRelease(&held);
    AsRelease(&incoming);
}

void SimSettingsReset(SimSettings *s)
{
    AsRelease(&s->held);
    AsRelease(&s->incoming);
    s->held = AgentSettings{};
    s->incoming = AgentSettings{};
    s->built = s->collecting = 0;
    s->nextList = s->nextBlock = s->faults = s->transfers = 0;
    s->answerFault = kSettingsSound;
}

static const char *const kFaultNames[] = {"sound", "refused", "unfinished", "overfull"};

int SimSettingsFaultParse(const char *text, size_t len)
{
    for (int k = kSettingsRefused; k <= kSettingsOverfull; k++)
        if (strlen(kFaultNames[k]) == len && memcmp(kFaultNames[k], text, len) == 0)
            return k;
    return -1;
}

enum { kOverfullNodes = 25001 };

// The four arrays an overfull answer grows.
static AsNodeArray *OverfullArray(AgentSettings *a, int i)
{
    return i < 2 ? &a->lists[i] : &a->communities[0].protocol[i - 2].nodes;
}

// Whole packets of out from at: the offset of the last one, or out->size() when none.
static size_t LastPacketAt(const std::vector<uint8_t> &out, size_t at)
{
    size_t last = out.size();
    while (out.size() - at >= kPacketHeaderSize) {
        last = at;
        at += kPacketHeaderSize + GetU32LE(out.data() + at + 4);
    }
    return last;
}

// The first packet of type from at, or out->size().
static size_t PacketAt(const std::vector<uint8_t> &out, size_t at, uint32_t type)
{
    while (out.size() - at >= kPacketHeaderSize && GetU32LE(out.data() + at) != type)
        at += kPacketHeaderSize + GetU32LE(out.data() + at + 4);
    return out.size() - at >= kPacketHeaderSize ? at : out.size();
}

static void AppendAll(AsNodeArray *a, const char *const *nodes, size_t n)
{
    for (size_t i = 0; i < n; i++)
        AsNodeAppend(a, nodes[i]);
}

void SimSettingsBuiltIn(AgentSettings *a)
{
    AsRelease(a);
    *a = AgentSettings{};
    const uint32_t common[kAsCommonFields] = {1, 1, 2, 1, 1, 1, 0, 1, 0, 1, 0, 1, 5, 0x103};
    memcpy(a->common, common, sizeof common);
    strcpy(a->text, "Corvid simulated Agent");
    a->number = 42;
    a->flag = 1;
    static const char *const tcpList[] = {"10.0.0.1", "192.168.17.0", "gateway.corvid.test"};
    static const char *const ipxList[] = {"000000000001", "*", "00A0C9123456"};
    AppendAll(&a->lists[0], tcpList, 3);
    AppendAll(&a->lists[1], ipxList, 3);
    // The last TCP/IP password is "Пароль_4" in code page 1251.
    static const char *const passwords[kBlocks] = {
        "AdminPw1", "IpxAdmin", "CtrlFt_2", "IpxCtrlFt", "Ctrl3", "IpxCtrl", "\xCF\xE0\xF0\xEE\xEB\xFC_4", "IpxView"};
    static const char *const tcpNodes[] = {"10.0.0.2", "admin-desk.corvid.test", "172.16.5.9"};
    static const char *const ipxNodes[] = {"00000000BEEF", "0080C7ABCDEF"};
    for (uint32_t i = 0; i < kBlocks; i++) {
        AsProtocolBlock *b = &a->communities[i / 2].protocol[i % 2];
        strcpy(b->password, passwords[i]);
        if (i % 2)
            AppendAll(&b->nodes, ipxNodes, 1 + i / 4);
        else
            AppendAll(&b->nodes, tcpNodes, 1 + i / 3);
    }
    // Desktop view over TCP/IP: enough nodes to need a second packet, one of 127 characters.
    AsNodeArray *view = &a->communities[3].protocol[0].nodes;
    char node[kAsNodeBlock];
    for (uint32_t i = 0; i < kLongCommunityNodes; i++) {
        snprintf(node, sizeof node,
                 "viewer-%03u.branch-office-%02u.region-west.corvid.test/desktops/with/a/rather/long/path/%03u",
                 (unsigned)i, (unsigned)(i % 37), (unsigned)i);
        AsNodeAppend(view, node);
    }
    memset(node, 'W', kAsNodeMax);
    node[kAsNodeMax] = 0;
    AsNodeAppend(view, node);
}

static std::string JsonNodes(const AsNodeArray *a)
{
    std::string out = "[";
    for (int32_t i = 0; a->nodes && i < a->count; i++) {
        out += i ? ",\"" : "\"";
        JsonEscape(&out, a->nodes[i], strnlen(a->nodes[i], kAsNodeMax));
        out += "\"";
    }
    return out + "]";
}

static std::string JsonText(const char *s, size_t max)
{
    std::string out = "\"";
    JsonEscape(&out, s, strnlen(s, max));
    return out + "\"";
}

void SimSettingsFields(JsonLine *j, const AgentSettings *a)
{
    std::string common = "[";
    for (uint32_t i = 0; i < kAsCommonFields; i++)
        common += (i ? "," : "") + std::to_string(a->common[i]);
    JsonRaw(j, "common", common + "]");
    JsonStr(j, "text", a->text, strnlen(a->text, kAsTextMax));
    JsonUint(j, "number", a->number);
    JsonUint(j, "flag", a->flag);
    JsonRaw(j, "lists", "[" + JsonNodes(&a->lists[0]) + "," + JsonNodes(&a->lists[1]) + "]");
    std::string c = "[";
    for (uint32_t k = 0; k < kAsCommunities; k++) {
        c += k ? ",[" : "[";
        for (uint32_t p = 0; p < kAsProtocols; p++) {
            const AsProtocolBlock *b = &a->communities[k].protocol[p];
            c += p ? ",{" : "{";
            c += "\"password\":" + JsonText(b->password, kAsPasswordMax) + ",\"nodes\":" + JsonNodes(&b->nodes) + "}";
        }
        c += "]";
    }
    JsonRaw(j, "communities", c + "]");
}

static int NodesEqual(const AsNodeArray *a, const AsNodeArray *b)
{
    const int32_t n = a->nodes ? a->count : 0, m = b->nodes ? b->count : 0;
    if (n != m)
        return 0;
    for (int32_t i = 0; i < n; i++)
        if (strncmp(a->nodes[i], b->nodes[i], kAsNodeMax) != 0)
            return 0;
    return 1;
}

int SimSettingsEqual(const AgentSettings *a, const AgentSettings *b)
{
    if (memcmp(a->common, b->common, sizeof a->common) || strncmp(a->text, b->text, kAsTextMax) ||
        a->number != b->number || a->flag != b->flag)
        return 0;
    for (uint32_t i = 0; i < kAsProtocols; i++)
        if (!NodesEqual(&a->lists[i], &b->lists[i]))
            return 0;
    for (uint32_t k = 0; k < kAsCommunities; k++)
        for (uint32_t p = 0; p < kAsProtocols; p++) {
            const AsProtocolBlock *x = &a->communities[k].protocol[p], *y = &b->communities[k].protocol[p];
            if (strncmp(x->password, y->password, kAsPasswordMax) || !NodesEqual(&x->nodes, &y->nodes))
                return 0;
        }
    return 1;
}

static void CopyNodes(AsNodeArray *to, const AsNodeArray *from)
{
    for (int32_t i = 0; from->nodes && i < from->count; i++)
        AsNodeAppend(to, from->nodes[i]);
}

static int AppendPacket(void *ctx, const uint8_t *packet, size_t length)
{
    std::vector<uint8_t> *out = (std::vector<uint8_t> *)ctx;
    const size_t at = out->size();
    out->insert(out->end(), packet, packet + length);
    // The Agent's common message is the 56 bytes the viewer reads.
    if (GetU32LE(packet) == PKT_AGENT_SETTINGS_COMMON) {
        out->resize(at + kPacketHeaderSize + kAsCommonReadLen);
        PutU32LE(out->data() + at + 4, kAsCommonReadLen);
    }
    return 1;
}

int SimAnswerSettings(SimSettings *s, uint16_t agentVersion, std::string *log, std::vector<uint8_t> *out)
{
    if (!s->built) {
        SimSettingsBuiltIn(&s->held);
        s->built = 1;
    }
    const uint32_t fault = s->answerFault;
    s->answerFault = kSettingsSound;
    JsonLine j;
    JsonBegin(&j, "agent_settings_sent");
    JsonUint(&j, "version", agentVersion);
    if (fault != kSettingsSound)
        JsonCStr(&j, "fault", kFaultNames[fault]);
    SimSettingsFields(&j, &s->held);
    *log += JsonEnd(&j);
    int32_t before[4] = {};
    if (fault == kSettingsOverfull)
        for (int i = 0; i < 4; i++) {
            AsNodeArray *a = OverfullArray(&s->held, i);
            before[i] = a->count;
            // One allocation: appending node by node copies the array each time.
            const size_t count = (size_t)a->count + kOverfullNodes;
            char(*grown)[kAsNodeBlock] = (char(*)[kAsNodeBlock])realloc(a->nodes, count * kAsNodeBlock);
            if (!grown)
                continue;
            a->nodes = grown;
            for (size_t n = (size_t)a->count; n < count; n++)
                memcpy(a->nodes[n], "n", 2);
            a->count = (int32_t)count;
        }
    const size_t at = out->size();
    const int ok = AsSendAll(&s->held, agentVersion, AppendPacket, out);
    if (fault == kSettingsOverfull)
        for (int i = 0; i < 4; i++)
            OverfullArray(&s->held, i)->count = before[i];
    if (!ok)
        return 0;
    if (fault == kSettingsUnfinished)
        out->resize(LastPacketAt(*out, at));
    const size_t lists = PacketAt(*out, at, PKT_AGENT_SETTINGS_NODE_LISTS);
    if (fault == kSettingsRefused && lists < out->size()) {
        uint8_t *records = out->data() + lists + kPacketHeaderSize;
        PutU32LE(records, GetU32LE(records) + 1);
    }
    return 1;
}

static void Fault(SimSettings *s, std::string *log, const char *what)
{
    s->faults++;
    JsonLine j;
    JsonBegin(&j, "error");
    JsonCStr(&j, "what", what);
    *log += JsonEnd(&j);
}

// The strings of a record already checked whole by the receive code.
static std::string RecordNodes(const uint8_t **p, uint32_t n)
{
    std::string out = "[";
    for (uint32_t i = 0; i < n; i++) {
        const size_t len = strlen((const char *)*p);
        out += i ? ",\"" : "\"";
        JsonEscape(&out, (const char *)*p, len);
        out += "\"";
        *p += len + 1;
    }
    return out + "]";
}

// Records of a node-lists packet: in list order, a list split over packets going on in
// the first record of the next.
static std::string ListRecords(SimSettings *s, const uint8_t *payload, std::string *log)
{
    const uint32_t records = GetU32LE(payload);
    const uint8_t *p = payload + 4;
    std::string out = "[";
    for (uint32_t r = 0; r < records; r++) {
        const uint32_t index = GetU32LE(p), n = GetU32LE(p + 4);
        p += 8;
        const int continued = r == 0 && s->nextList > 0 && index == s->nextList - 1;
        if (!continued && index != s->nextList)
            Fault(s, log, "PKT_AGENT_SETTINGS_NODE_LISTS record out of list order");
        else if (!continued)
            s->nextList++;
        out += (r ? ",{\"list\":" : "{\"list\":") + std::to_string(index) + ",\"nodes\":" + RecordNodes(&p, n) + "}";
    }
    return out + "]";
}

// Records of a communities packet: blocks in order, a present password that opens, and a
// block split over packets going on with password present 0 and a zeroed SealedBlock.
static std::string CommunityRecords(SimSettings *s, const uint8_t *payload, std::string *log)
{
    const uint32_t records = GetU32LE(payload + 4);
    const uint8_t *p = payload + 8;
    std::string out = "[";
    for (uint32_t r = 0; r < records; r++) {
        const uint32_t c = GetU32LE(p), proto = GetU32LE(p + 4), present = GetU32LE(p + 8);
        const uint32_t n = GetU32LE(p + 100), block = c * kAsProtocols + proto;
        std::string password = "null";
        uint8_t plain[kSealedShortPlain];
        if (present == 1 && OpenShort(p + 12, plain))
            password = JsonText((const char *)plain, sizeof plain);
        int zero = 1;
        for (uint32_t i = 0; i < kSealedShortSize; i++)
            zero &= p[12 + i] == 0;
        if (present == 1) {
            if (block != s->nextBlock)
                Fault(s, log, "PKT_AGENT_SETTINGS_COMMUNITIES record out of block order");
            else
                s->nextBlock++;
            if (password == "null")
                Fault(s, log, "PKT_AGENT_SETTINGS_COMMUNITIES password does not open");
        } else if (present != 0 || r != 0 || s->nextBlock == 0 || block != s->nextBlock - 1 || !zero) {
            Fault(s, log, "PKT_AGENT_SETTINGS_COMMUNITIES record without a password is not a continued one");
        }
        out += (r ? ",{" : "{") + std::string("\"community\":") + std::to_string(c) +
               ",\"protocol\":" + std::to_string(proto) + ",\"password_present\":" + std::to_string(present) +
               ",\"password\":" + password + ",\"nodes\":";
        p += 104;
        out += RecordNodes(&p, n) + "}";
    }
    return out + "]";
}

// The viewer's transfer is complete: logged whole, compared, and taken as the new set.
static void FinishTransfer(SimSettings *s, uint16_t agentVersion, std::string *log)
{
    if (s->nextBlock != kBlocks)
        Fault(s, log, "PKT_AGENT_SETTINGS_COMMUNITIES ended before all eight blocks");
    if (agentVersion >= kAsVersionNodeLists && s->nextList != kAsProtocols)
        Fault(s, log, "PKT_AGENT_SETTINGS_NODE_LISTS did not carry both lists");
    // What this version does not carry stays as the Agent has it.
    if (agentVersion < kAsVersionNodeLists)
        for (uint32_t i = 0; i < kAsProtocols; i++)
            CopyNodes(&s->incoming.lists[i], &s->held.lists[i]);
    const int same = SimSettingsEqual(&s->incoming, &s->held);
    JsonLine j;
    JsonBegin(&j, "agent_settings");
    JsonUint(&j, "version", agentVersion);
    SimSettingsFields(&j, &s->incoming);
    JsonBool(&j, "same_as_sent", same);
    JsonUint(&j, "faults", s->faults);
    *log += JsonEnd(&j);
    AsRelease(&s->held);
    s->held = s->incoming;
    s->incoming = AgentSettings{};
    s->built = 1;
    s->collecting = 0;
    s->transfers++;
}

int SimReceiveSettings(SimSettings *s, uint16_t agentVersion, const SessPacketHeader *h, const uint8_t *payload,
                       std::string *log)
{
    if (h->dwType == PKT_AGENT_SETTINGS_COMMON) {
        // A transfer begins: what the version does not carry comes from the Agent's set.
        if (!s->built) {
            SimSettingsBuiltIn(&s->held);
            s->built = 1;
        }
        AsRelease(&s->incoming);
        s->incoming = AgentSettings{};
        memcpy(s->incoming.text, s->held.text, sizeof s->incoming.text);
        s->incoming.number = s->held.number;
        s->incoming.flag = s->held.flag;
        s->collecting = 1;
        s->nextList = s->nextBlock = s->faults = 0;
    }
    const uint32_t faultsBefore = s->faults;
    JsonLine j;
    JsonBegin(&j, "packet");
    JsonUint(&j, "type", h->dwType);
    JsonCStr(&j, "name", SimPacketName(h->dwType));
    JsonUint(&j, "len", h->dwDataLen);
    JsonUint(&j, "required", h->dwRequired);
    const char *why = nullptr;
    int last = 0, ok = 0;
    std::string records;
    switch (h->dwType) {
    case PKT_AGENT_SETTINGS_COMMON:
        // The receive side's flag rule is the viewer's; the Agent keeps the flag it has.
        ok = AsReceiveCommon(&s->incoming, h, payload, kAsVersionFlag, &why);
        if (ok) {
            int tailZero = 1;
            for (uint32_t i = kAsCommonReadLen; i < h->dwDataLen; i++)
                tailZero &= payload[i] == 0;
            std::string common = "[";
            for (uint32_t i = 0; i < kAsCommonFields; i++)
                common += (i ? "," : "") + std::to_string(GetU32LE(payload + 4 * i));
            JsonRaw(&j, "common", common + "]");
            JsonBool(&j, "tail_zero", tailZero);
        }
        break;
    case PKT_AGENT_SETTINGS_STRING:
        ok = AsReceiveString(&s->incoming, h, payload, &why);
        if (ok) {
            JsonStr(&j, "text", s->incoming.text, strlen(s->incoming.text));
            JsonUint(&j, "number", s->incoming.number);
        }
        break;
    case PKT_AGENT_SETTINGS_FLAG:
        ok = AsReceiveFlag(&s->incoming, h, payload, &why);
        if (ok)
            JsonUint(&j, "flag", s->incoming.flag);
        break;
    case PKT_AGENT_SETTINGS_NODE_LISTS:
        ok = AsReceiveNodeLists(&s->incoming, h, payload, &why);
        break;
    default:
        ok = AsReceiveCommunities(&s->incoming, h, payload, &last, &why);
        if (ok)
            JsonUint(&j, "last", GetU32LE(payload));
        break;
    }
    std::string faults;
    if (ok && h->dwType == PKT_AGENT_SETTINGS_NODE_LISTS)
        JsonRaw(&j, "records", ListRecords(s, payload, &faults));
    if (ok && h->dwType == PKT_AGENT_SETTINGS_COMMUNITIES)
        JsonRaw(&j, "records", CommunityRecords(s, payload, &faults));
    if (!ok || why)
        JsonCStr(&j, ok ? "note" : "refused", why);
    if (!ok)
        JsonHex(&j, "payload", payload, h->dwDataLen, kHexLogMax);
    *log += JsonEnd(&j);
    *log += faults;

    // What an Agent of this version would not take, or the viewer never sends.
    struct Rule {
        uint32_t type, len, required;
        uint16_t from;
    };
    static const Rule kRules[] = {
        {PKT_AGENT_SETTINGS_COMMON, kAsCommonSendLen, 1, 0},
        {PKT_AGENT_SETTINGS_STRING, kAsStringLen, 0, kAsVersionString},
        {PKT_AGENT_SETTINGS_FLAG, kAsFlagLen, 0, kAsVersionFlag},
        {PKT_AGENT_SETTINGS_NODE_LISTS, 0, 1, kAsVersionNodeLists},
        {PKT_AGENT_SETTINGS_COMMUNITIES, 0, 1, 0},
    };
    char what[160];
    for (const Rule &r : kRules) {
        if (r.type != h->dwType)
            continue;
        if (r.len && h->dwDataLen != r.len) {
            snprintf(what, sizeof what, "%s with dwDataLen %u, expected %u", SimPacketName(r.type),
                     (unsigned)h->dwDataLen, (unsigned)r.len);
            Fault(s, log, what);
        }
        if (h->dwRequired != r.required) {
            snprintf(what, sizeof what, "%s with header flag %u, expected %u", SimPacketName(r.type),
                     (unsigned)h->dwRequired, (unsigned)r.required);
            Fault(s, log, what);
        }
        if (agentVersion < r.from) {
            snprintf(what, sizeof what, "%s sent to an Agent of version %u", SimPacketName(r.type),
                     (unsigned)agentVersion);
            Fault(s, log, what);
        }
    }
    if (!ok) {
        snprintf(what, sizeof what, "%s refused: %s", SimPacketName(h->dwType), why);
        Fault(s, log, what);
    } else if (h->dwType != PKT_AGENT_SETTINGS_COMMON && !s->collecting) {
        Fault(s, log, "settings packet before PKT_AGENT_SETTINGS_COMMON");
    }
    if (ok && h->dwType == PKT_AGENT_SETTINGS_COMMON && h->dwDataLen >= kAsCommonSendLen) {
        int tailZero = 1;
        for (uint32_t i = kAsCommonReadLen; i < kAsCommonSendLen; i++)
            tailZero &= payload[i] == 0;
        if (!tailZero)
            Fault(s, log, "PKT_AGENT_SETTINGS_COMMON bytes 56 to 67 are not zero");
    }
    if (last && s->collecting)
        FinishTransfer(s, agentVersion, log);
    return s->faults == faultsBefore;
}
