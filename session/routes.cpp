// The table of packet types the viewer reads, in type order.
#include "session/routes.h"

const PacketRoute kPacketRoutes[] = {
    {PKT_LOGIN_REPLY, kOwnerSession, "PKT_LOGIN_REPLY"},
    {PKT_SCREEN_INFO, kOwnerDesktop, "PKT_SCREEN_INFO"},
    {PKT_SCREEN_XOR_PART, kOwnerDesktop, "PKT_SCREEN_XOR_PART"},
    {PKT_SCREEN_XOR_RLE_PART, kOwnerDesktop, "PKT_SCREEN_XOR_RLE_PART"},
    {PKT_SCREEN_RLE_PART, kOwnerDesktop, "PKT_SCREEN_RLE_PART"},
    {PKT_PALETTE, kOwnerDesktop, "PKT_PALETTE"},
    {PKT_KEYBOARD_LIGHTS, kOwnerDesktop, "PKT_KEYBOARD_LIGHTS"},
    // The session announces a restart; the desktop is torn down when it is taken.
    {PKT_DESKTOP_RESTART, kOwnerSession, "PKT_DESKTOP_RESTART"},
    {PKT_CURSOR_STANDARD, kOwnerDesktop, "PKT_CURSOR_STANDARD"},
    {PKT_CURSOR_SHAPE, kOwnerDesktop, "PKT_CURSOR_SHAPE"},
    {PKT_CLIPBOARD_TEXT, kOwnerClipboard, "PKT_CLIPBOARD_TEXT"},
    {PKT_CONSOLE_STOP, kOwnerConsole, "PKT_CONSOLE_STOP"},
    {PKT_CONSOLE_START, kOwnerConsole, "PKT_CONSOLE_START"},
    {PKT_CONSOLE_CURSOR, kOwnerConsole, "PKT_CONSOLE_CURSOR"},
    {PKT_CONSOLE_LINE, kOwnerConsole, "PKT_CONSOLE_LINE"},
    {PKT_AGENT_SETTINGS_COMMON, kOwnerAgentSettings, "PKT_AGENT_SETTINGS_COMMON"},
    {PKT_AGENT_SETTINGS_COMMUNITIES, kOwnerAgentSettings, "PKT_AGENT_SETTINGS_COMMUNITIES"},
    {PKT_CURSOR_POS, kOwnerDesktop, "PKT_CURSOR_POS"},
    {PKT_FT_DIR_LISTING, kOwnerFileTransfer, "PKT_FT_DIR_LISTING"},
    {PKT_FT_DIR_LISTING_MORE, kOwnerFileTransfer, "PKT_FT_DIR_LISTING_MORE"},
    {PKT_FT_SET_ATTRIBUTES_RESULT, kOwnerFileTransfer, "PKT_FT_SET_ATTRIBUTES_RESULT"},
    {PKT_FT_RENAME_RESULT, kOwnerFileTransfer, "PKT_FT_RENAME_RESULT"},
    {PKT_FT_CREATE_DIR_RESULT, kOwnerFileTransfer, "PKT_FT_CREATE_DIR_RESULT"},
    {PKT_FT_CONFIRM_DELETE, kOwnerFileTransfer, "PKT_FT_CONFIRM_DELETE"},
    {PKT_FT_ERROR, kOwnerFileTransfer, "PKT_FT_ERROR"},
    {PKT_FT_ACK, kOwnerFileTransfer, "PKT_FT_ACK"},
    {PKT_FT_FILE_BEGIN, kOwnerFileTransfer, "PKT_FT_FILE_BEGIN"},
    {PKT_FT_FILE_DATA, kOwnerFileTransfer, "PKT_FT_FILE_DATA"},
    {PKT_FT_CONFIRM_OVERWRITE, kOwnerFileTransfer, "PKT_FT_CONFIRM_OVERWRITE"},
    {PKT_AGENT_SETTINGS_STRING, kOwnerAgentSettings, "PKT_AGENT_SETTINGS_STRING"},
    {PKT_AGENT_SETTINGS_NODE_LISTS, kOwnerAgentSettings, "PKT_AGENT_SETTINGS_NODE_LISTS"},
    {PKT_AGENT_SETTINGS_FLAG, kOwnerAgentSettings, "PKT_AGENT_SETTINGS_FLAG"},
};

const size_t kPacketRouteCount = sizeof(kPacketRoutes) / sizeof(kPacketRoutes[0]);

const PacketRoute *FindPacketRoute(uint32_t type)
{
    for (size_t i = 0; i < kPacketRouteCount; i++)
        if (kPacketRoutes[i].type == type)
            return &kPacketRoutes[i];
    return nullptr;
}

int IsHandledAgentType(uint32_t type) { return FindPacketRoute(type) != nullptr; }

int IsRefusedAgentPacket(const SessPacketHeader *h) { return !IsHandledAgentType(h->dwType) && h->dwRequired != 0; }
