// What the simulator's upload side (copy.cpp, with the questions and the dispatch) and its
// download side (copydown.cpp) share: the state of a question, the output that a delay
// holds, and the per-file log helpers. Single-threaded, like the rest of the simulator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <time.h>

#include "tools/agentsim/copy.h"
#include "tools/agentsim/files.h"
#include "tools/agentsim/jsonlog.h"

// What the last packet sent waits for.
enum { kSimCopyAskNone, kSimCopyAskOverwrite, kSimCopyAskError, kSimCopyAskData };
// The step a PKT_FT_ERROR's Retry repeats; the upload's come first.
enum {
    kSimCopyStepUpBegin,
    kSimCopyStepUpWrite,
    kSimCopyStepUpFinish,
    kSimCopyStepDownStart,
    kSimCopyStepDownFile,
    kSimCopyStepDownRead,
};

extern const char kSimCopyInjected[];
extern const char kSimCopyDenied[];

// Everything the copy sends: straight into out, or held while a delay runs.
void SimCopyEmit(SimFiles *f, const uint8_t *p, size_t n, std::vector<uint8_t> *out);
// The same with a "sent" line per packet.
void SimCopySaid(SimFiles *f, const uint8_t *p, size_t n, std::string *log, std::vector<uint8_t> *out);
// PKT_FT_ACK {0, goOn}; logged: with an "ft_ack" line and its "sent" line.
void SimCopyAck(SimFiles *f, const char *path, int goOn, int logged, std::string *log, std::vector<uint8_t> *out);
// PKT_FT_ERROR, waiting for its answer; Retry repeats step.
void SimCopySendError(SimFiles *f, uint32_t kind, const char *path, const char *text, int step, std::string *log,
                      std::vector<uint8_t> *out);
// Ends the operation: drops what is open, then PKT_FT_ACK continue 0. Returns 1.
int SimCopyStop(SimFiles *f, const char *path, const char *why, std::string *log, std::vector<uint8_t> *out);
// An "ft_injected" line.
void SimCopyInjected(const char *fault, const char *path, std::string *log);
// The armed burst of questions about path, if any: sent, and 1; step resumes once every
// one is answered yes.
int SimCopyArmedQuestions(SimFiles *f, const char *path, int step, std::string *log, std::vector<uint8_t> *out);

uint64_t SimCopyFileTime(const timespec &t);
int SimCopyDigestStart(SimDigest *d);
// The digest finished into a "sha256" field.
void SimCopyDigestField(JsonLine *j, SimDigest *d);

// The Windows path of a download's file or folder.
std::string SimCopyItemPath(const SimCopy *c, const SimCopyItem &it);
// Closes the download; an "ft_download_stopped" line when log is given and it was under way.
void SimCopyEndDownload(SimFiles *f, const char *why, std::string *log);

// The download: the item asked for, its next file (faults, open, first chunk), the file's
// next chunk, and the viewer's answer to a packet.
int SimDownloadStart(SimFiles *f, std::string *log, std::vector<uint8_t> *out);
int SimDownloadFile(SimFiles *f, std::string *log, std::vector<uint8_t> *out);
int SimDownloadChunk(SimFiles *f, std::string *log, std::vector<uint8_t> *out);
// Once per pass of the socket loop: the chunk after the one just sent is sealed while the
// viewer opens that one; it goes when the answer comes, with the lines its faults made.
void SimDownloadAhead(SimFiles *f);
int SimDownloadAnswer(SimFiles *f, int kind, std::string *log, std::vector<uint8_t> *out);
