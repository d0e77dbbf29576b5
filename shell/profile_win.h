// Where the time of the receive thread and the desktop goes, kept only when the
// environment variable CORVID_PROFILE names a file: the benchmarks read that file to
// break one frame's cost down. Off, each call is a test of one flag.
#ifndef CORVID_SHELL_PROFILE_WIN_H
#define CORVID_SHELL_PROFILE_WIN_H

#include <windows.h>

enum ProfileStage {
    kProfReceiveWait, // receive thread: waiting for the socket to be readable
    kProfReceiveRead, // receive thread: the reads themselves
    kProfDecode,      // receive thread: screen parts decoded into their tiles
    kProfPublish,     // receive thread: decoded tiles copied into the frame
    kProfBatch,       // UI thread: a batch of changed tiles shown, all of it
    kProfBlit,        // UI thread, within a batch: tiles copied onto the pad
    kProfStretch,     // UI thread, within a batch: the scaled view's stretches
    kProfMarker,      // UI thread: the remote cursor marker repainted
    kProfStageCount
};

// UI thread, at start-up: reads the environment and starts the thread that
// writes the figures four times a second.
void ProfileStart(void);
// A start time for ProfileAdd, 0 when profiling is off.
LONGLONG ProfileClock(void);
// Adds the time since start (from ProfileClock) and one call to stage.
void ProfileAdd(int stage, LONGLONG start);
// Adds n to a count kept beside the stages (bytes read, tiles blitted).
enum ProfileCount { kProfBytesRead, kProfPartsIn, kProfTilesShown, kProfBlits, kProfCountCount };
void ProfileCountAdd(int count, LONGLONG n);

#endif
