// The simulated Agent's file service over real folders of this machine: the first shown
// as drive C:, an optional second as D:. Answers listing (split over several packets),
// set attributes, rename, create folder and delete of folder trees, asking
// PKT_FT_CONFIRM_DELETE for read-only items, and hands uploads and downloads to copy.h;
// injects a PKT_FT_ERROR or a stopping PKT_FT_ACK when armed by the control channel.
// Windows attributes and creation times the host lacks are kept in memory beside the files
// (a map by host path, for the life of the simulator). A Windows path is refused unless it
// stays inside its drive's folder: no "..", no colon after the drive, no symbolic link on
// the way. Single-threaded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "filetransfer/messages.h"
#include "session/packet.h"
#include "tools/agentsim/copy.h"

enum : uint32_t { kSimFtSplitDefault = 100, kSimFtDrives = 2 };
// The question a delete item waits on: none, PKT_FT_CONFIRM_DELETE, or PKT_FT_ERROR whose
// retry starts the item afresh or tries its current entry again.
enum { kSimAskNone, kSimAskConfirm, kSimAskErrorRestart, kSimAskErrorRetry };

struct SimFileMeta {
    uint32_t attributes; // Windows bits; the directory bit follows the host
    uint64_t created;    // FILETIME; 0: the host's modification time
};

struct SimFiles {
    std::string root[kSimFtDrives];          // canonical host folders of C: and D:; empty: none
    uint32_t split;                          // entries per listing packet (at least 1)
    uint32_t currentDrive;                   // 2 (C:) or 3 (D:)
    std::string currentDir[kSimFtDrives];    // Windows path remembered per drive
    std::map<std::string, SimFileMeta> meta; // by host path
    // The delete operation (first .. last item) and its open question.
    int yesToAll;
    int asking;                    // kSimAsk*: what the open question was
    int confirmed;                 // the first of todo was confirmed by the operator
    FtDelete request;              // the item being deleted
    std::vector<std::string> todo; // host paths of the item still to delete, children first
    // Armed by the control channel for the next delete item or copied file.
    int armedError;    // error kind, -1: none
    int armedStop;     // end the next item with PKT_FT_ACK continue 0
    uint32_t requests; // file-service requests handled
    // Listing faults armed for the next listing, and the endless one under way.
    int armEndless, armDamaged;
    uint32_t endlessMs; // the pause between its PKT_FT_DIR_LISTING_MORE packets
    int endless;        // a listing that never completes is being sent
    double endlessNext; // when its next packet may go
    uint64_t endlessPackets, endlessEntries;
    SimCopy copy; // uploads and downloads
};

// roots[i] may be NULL. Refuses (0, err) a folder that does not exist.
int SimFilesInit(SimFiles *f, const char *const roots[kSimFtDrives], uint32_t split, char *err, size_t errCap);
// Forgets the open operation (a new connection); the attributes and armed faults stay.
void SimFilesNewConnection(SimFiles *f);
// The connection ended: a partial upload is dropped and an open download closed, logged.
void SimFilesDisconnect(SimFiles *f, std::string *log);

// A Windows path of a served drive as a host path inside its folder, or 0 with *why.
// *drive gets 0 (C:) or 1 (D:).
int SimFilesResolve(const SimFiles *f, const char *winPath, std::string *host, int *drive, const char **why);

// The Windows attributes shown for a host path (kept, else from the host); 0 if missing.
uint32_t SimFilesHostAttributes(const SimFiles *f, const std::string &host);
// An "ft_refused" line (path, why) and an error line.
void SimFilesLogRefused(const char *winPath, const char *why, std::string *log);
// A PKT_FT_ERROR built into packet, with its "ft_error_sent" line; its length.
size_t SimFilesErrorPacket(uint32_t kind, const char *winPath, const char *text, std::string *log, uint8_t *packet,
                           size_t cap);

// The control channel's doings.
void SimFilesArmError(SimFiles *f, int kind);
void SimFilesArmStop(SimFiles *f);
// The next listing never completes: after its own packets, PKT_FT_DIR_LISTING_MORE of
// made-up entries keep coming, one each ms milliseconds, until the viewer asks anything
// or goes.
void SimFilesArmEndless(SimFiles *f, uint32_t ms);
// The next listing's second packet (its head when it has one only) announces an entry
// more than it carries; the packets after it still follow.
void SimFilesArmDamaged(SimFiles *f);
// The endless listing's next packet into out, when its time has come and the viewer's
// unsent bytes (pending) are few enough: it never queues more than the viewer takes.
void SimFilesListingTick(SimFiles *f, double now, size_t pending, std::string *log, std::vector<uint8_t> *out);
// When that packet is due (0: none is); with pending too high the socket's room wakes.
double SimFilesListingDue(const SimFiles *f, size_t pending);
// Sets the kept attributes of a Windows path; 0 with *why when it is refused or missing.
int SimFilesSetAttributes(SimFiles *f, const char *winPath, uint32_t attributes, const char **why);

// One file-transfer packet from the viewer (types 29..48): logged, answered into out.
// Returns 0 when the packet was refused or came out of turn (an error line says why).
int SimFilesHandle(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                   std::vector<uint8_t> *out);
int SimFilesIsType(uint32_t type);
