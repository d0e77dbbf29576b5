// The simulated Agent's side of file copying over its served folders. Uploads are written
// beside their target under a temporary name and renamed into place once the last chunk
// opened cleanly; downloads are read and sealed chunk by chunk, one packet in flight, a
// folder as its whole tree. Asks before overwriting, reports failures with PKT_FT_ERROR
// (Retry repeats the step) and takes faults armed by the control channel. With a delay
// set, what it sends is held and released by the socket loop's clock, so the loop never
// sleeps. Single-threaded; one file each way at a time, as the envelope has one sealing
// and one opening context.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "filetransfer/filestream.h"
#include "filetransfer/messages.h"

struct SimFiles;

struct SimDigestFree {
    void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};
using SimDigest = std::unique_ptr<EVP_MD_CTX, SimDigestFree>;

enum : uint32_t { kSimFtOversizeLen = 40000, kSimFtShortHeadLen = 40 };

struct SimCopyItem {
    std::string host;     // on this machine
    std::string relative; // as the viewer gets it: "name\sub\file.txt"
    int directory;
};

struct SimCopy {
    // What the last packet sent waits for (kSimCopyAsk* in copyparts.h) and, for a
    // PKT_FT_ERROR, the step its Retry repeats.
    int asking, step;
    std::string askPath;           // the Windows path that question is about
    int lateAnswer;                // a question the viewer abandoned may still be answered
    int yesToAll;                  // upload: no more overwrite questions this operation
    std::vector<uint8_t> question; // the upload packet a question holds back (whole)

    // Upload: the file being written.
    int upFd;                          // -1: none
    std::string upTemp, upHost, upWin; // temporary file, target, target's Windows path
    uint32_t upAttributes;
    uint64_t upCreated, upWritten;
    int upLast;                     // the chunk being written was the last
    std::vector<uint8_t> unwritten; // opened bytes a failed write left
    FtFileReceiver rx;
    SimDigest upSha;

    // Download: the item being sent, as its files and folders in order.
    int dlActive;
    FtDownload request;
    std::vector<SimCopyItem> todo;
    size_t index;
    int dlFirst;       // the next begin packet is the operation's first
    int dlFd;          // -1: none
    uint64_t dlOffset; // plaintext bytes sent so far
    uint64_t dlRead;   // plaintext bytes read and sealed, the chunk sealed ahead too
    uint32_t dlPackets;
    // The next packet, sealed while the viewer opens the one before: the loop pass after
    // a packet went (aheadTick) seals it, so sealing never holds back what is sent.
    std::vector<uint8_t> ahead;
    size_t aheadPlain;
    int aheadLast;
    uint32_t ticks, aheadTick; // aheadTick 0: nothing to seal ahead
    std::string aheadLog;      // lines of the faults sealed into it
    FtFileBegin dlMeta;
    FtFileSender tx;
    SimDigest dlSha;
    int dlCorrupt, dlShortHead, dlEarly, dlRagged; // faults taken for this file

    // Armed by the control channel, each for the next time it applies.
    int armCorrupt, armShortHead, armOversize, armPath, armEarly, armRagged;
    std::string pathText;      // the relative path armPath sends
    uint32_t delayMs;          // before each packet the copy sends; 0: none
    std::vector<uint8_t> held; // packets waiting out the delay
    double heldUntil;
    uint32_t armQuestions; // ft-questions N: sent at the next copied file

    // A burst of PKT_FT_CONFIRM_OVERWRITE: until each has its answer, nothing else is
    // served. All answered yes resumes the step the burst held up; a stop ends the copy.
    uint32_t burstLeft; // answers still owed
    uint32_t burstSent;
    uint32_t burstKinds[4]; // the answers by kind: yes, yes to all, no, go on
    int burstStep;          // kSimCopyStep* to resume; -1: nothing (sent when told)
    std::string burstPath;

    uint32_t filesDone; // files wholly sent or received, all connections
};

void SimCopyInit(SimCopy *c);
// Drops a partial upload, closes a download, forgets questions and held packets; a line
// says what was dropped when log is not NULL.
void SimCopyReset(SimFiles *f, const char *why, std::string *log);
// Copy traffic is busy: a question open, an upload or download under way.
int SimCopyBusy(const SimFiles *f);
// PKT_FT_FILE_BEGIN, _FILE_DATA, _DOWNLOAD, _ABORT, and PKT_FT_ANSWER while the copy waits
// for one. Per-chunk traffic is not logged, only each file and each question.
int SimCopyTakes(const SimFiles *f, uint32_t type);
int SimCopyHandle(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                  std::vector<uint8_t> *out);

// N questions at once about a made-up file, as a hostile Agent might send them; each
// waits for its answer like those of a copy.
void SimCopyQuestionsNow(SimFiles *f, uint32_t n, std::string *log, std::vector<uint8_t> *out);

// Held packets whose delay has run out by now, into out; when the next one is due
// (0: none held).
void SimCopyTick(SimFiles *f, double now, std::vector<uint8_t> *out);
double SimCopyDue(const SimFiles *f);
// The clock of the delay, the same as the socket loop's (monotonic seconds).
double SimCopyClock(void);
