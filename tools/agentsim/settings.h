// The simulated Agent's own settings: a built-in set answered to PKT_GET_AGENT_SETTINGS
// with the viewer's packing code, and the viewer's settings packets checked, logged and
// collected until its last communities packet. Pure; the session drives it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "agentsettings/settings.h"
#include "session/packet.h"

// Faults of the next answer (settings-answer).
enum SimSettingsFault { kSettingsSound, kSettingsRefused, kSettingsUnfinished, kSettingsOverfull };
// The kind named by text, or -1.
int SimSettingsFaultParse(const char *text, size_t len);

struct SimSettings {
    AgentSettings held;     // what the Agent answers with; the viewer's transfer replaces it
    AgentSettings incoming; // the viewer's transfer being collected
    int built;              // held has been filled
    int collecting;         // a PKT_AGENT_SETTINGS_COMMON began a transfer
    uint32_t nextList;      // the list record expected next (0..2)
    uint32_t nextBlock;     // the community block expected next (community * 2 + protocol, 0..8)
    uint32_t faults;        // wrong packets in this transfer
    uint32_t transfers;     // the viewer's transfers completed on this connection
    uint32_t answerFault;   // SimSettingsFault of the next answer; sound again after it

    SimSettings()
        : held(), incoming(), built(0), collecting(0), nextList(0), nextBlock(0), faults(0), transfers(0),
          answerFault(kSettingsSound)
    {}
    SimSettings(const SimSettings &) = delete;
    SimSettings &operator=(const SimSettings &) = delete;
    ~SimSettings();
};

// Forgets both sets and every count.
void SimSettingsReset(SimSettings *s);

// The built-in set: both node lists, a password and nodes for every community and
// protocol, one community whose nodes take two packets, a Cyrillic password.
void SimSettingsBuiltIn(AgentSettings *a);

// The answer to PKT_GET_AGENT_SETTINGS at agentVersion, appended as whole packets, with
// its "agent_settings_sent" line (a faulty answer's "fault" names its kind; the nodes
// an overfull one adds are not listed). Returns 0 when a password could not be sealed.
int SimAnswerSettings(SimSettings *s, uint16_t agentVersion, std::string *log, std::vector<uint8_t> *out);

// One of the five settings packets from the viewer: logged decoded; after the last
// communities packet an "agent_settings" line with the whole set and whether it equals
// what was sent. Returns 0 for a packet the viewer should not have sent.
int SimReceiveSettings(SimSettings *s, uint16_t agentVersion, const SessPacketHeader *h, const uint8_t *payload,
                       std::string *log);

// The whole set as JSON fields of a line begun by the caller: common, text, number, flag,
// lists, communities.
struct JsonLine;
void SimSettingsFields(JsonLine *j, const AgentSettings *a);
// Equal in every field and node.
int SimSettingsEqual(const AgentSettings *a, const AgentSettings *b);
