// The temporary folders that remote files given to other programs (a drag out of the
// remote panel, Ctrl+C) are downloaded into: their names, and which of them a viewer may
// remove at start-up. Pure.
#pragma once
#include <cstddef>
#include <cstdint>

// "CorvidOut-<pid>-<serial>", decimal; 0 when it does not fit cap.
int FtOutboxName(uint32_t pid, uint32_t serial, char *out, size_t cap);
// The pattern that finds them in the temporary folder.
extern const char kFtOutboxPattern[];

// 1 with the owner's process id when name is exactly what FtOutboxName makes (no sign, no
// leading zero, nothing after, each number within 32 bits); 0 for anything else, which
// is never removed.
int FtOutboxParse(const char *name, uint32_t *pid, uint32_t *serial);

// Whether a folder of a viewer with this pid may go: its owner has ended, or the pid now
// belongs to a process started after the folder was made (times in one clock, 0 when
// unknown). A folder of a live viewer stays.
int FtOutboxStale(int ownerRunning, uint64_t ownerStarted, uint64_t folderCreated);
