// The texts the delete and copy dialogs build from a selection and from attributes,
// out of the language library's pieces (passed in, so the rule stays portable). Pure.
#pragma once
#include <cstddef>
#include <cstdint>

// The library's pieces of the selection sentence, in the order of their string ids.
struct FtSentencePieces {
    const char *oneFile;    // before "\"name\"" of a single file
    const char *oneFolder;  // before "\"name\"" of a single folder
    const char *folders;    // after "%d " of several folders
    const char *files;      // after "%d " of several files
    const char *items;      // after "%d " of folders and files together
    const char *folderTree; // after the single folder's name
};

// The sentence for folders + files selected items; name is the one item's name. 0
// (out empty) when nothing is selected: the dialog closes at once. Always terminated,
// cut at cap.
int FtSelectionSentence(uint32_t folders, uint32_t files, const char *name, const FtSentencePieces *t, char *out,
                        size_t cap);

// "Read-only  Hidden  System" for the bits 1, 2, 4 that are set: each name as given,
// two blanks after the read-only and hidden names. Always terminated, cut at cap.
void FtAttributeNames(uint32_t attributes, const char *readOnly, const char *hidden, const char *system, char *out,
                      size_t cap);

// The places a full selection list of room places grows to: doubled (16 at first), so
// a large selection costs a few reallocations, not one per item. 0 when it cannot grow
// or itemSize times the new room would not fit a size_t.
uint32_t FtSelectionRoom(uint32_t room, size_t itemSize);
