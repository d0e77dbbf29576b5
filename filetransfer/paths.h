// Path rules of both panels: joining, parent and root, the path an operator types, and
// the check of a relative path that the Agent names for a download. ANSI paths of at most
// 260 characters with backslashes, "X:\..." on either computer. Pure functions.
#pragma once
#include <cstddef>

#include "filetransfer/messages.h"

// left, a backslash unless left already ends in one (or is empty), and name into out
// (261 bytes). 0 when the result would be over 260 characters.
int FtJoinPath(const char *left, const char *name, char out[kFtPathField]);

// "X:\" or "X:" (any letter, either case).
int FtIsRoot(const char *path);

// The root of path with its backslash ("C:\"); 0 when path does not begin with a drive.
int FtRootOf(const char *path, char out[kFtPathField]);

// The folder holding path and path's last component: C:\Windows\System32 gives
// C:\Windows and System32, C:\Windows gives C:\ and Windows. 0 at a root or for a path
// without a drive.
int FtParentPath(const char *path, char parent[kFtPathField], char last[kFtPathField]);

// A typed path as a panel takes it: up to 260 characters, blanks at both ends removed,
// slashes made backslashes, backslashes and dots at the start and backslashes at the end
// removed, then the dots and blanks ending the last name and the one dot ending any other
// name (as Windows drops them), "." components dropped and ".." ones going up (never above
// the root, wherever they stand, the last one too), the drive letter in capitals.
// C:/Windows/ gives C:\Windows, "d:" gives D:\, C:\Windows\System32\.. gives C:\Windows. Refused (0, *why): two backslashes in a
// row, no drive letter A..Z with its colon, a component holding a colon, a result over
// 260 characters.
int FtCanonicaliseTyped(const char *typed, char out[kFtPathField], const char **why);

// A path relative to the download's local folder, as PKT_FT_FILE_BEGIN brings it: one or
// more names joined by single backslashes. Refused (0, *why): empty or over 260
// characters, absolute, naming a drive or an alternate stream (any colon), a "." or ".."
// component, an empty component, a character Windows refuses in names (control
// characters, < > " / | ? *), a name ending in a dot or blank, a device name (CON, PRN,
// AUX, NUL, COM0..9, LPT0..9 and with the digits 0xB9, 0xB2, 0xB3, CONIN$, CONOUT$, with or
// without an extension, with or without blanks before it).
int FtDownloadPathOk(const char *relative, const char **why);

// The relative path is the item asked for: a file's own name, or a folder's name or
// something below it (ASCII case ignored). 0 with *why otherwise.
int FtDownloadPathBelongs(const char *relative, const char *item, int folder, const char **why);

// A name typed for a new folder or a rename: blanks, slashes and backslashes at both ends
// removed. 0 with *why NULL when nothing is left; 0 with *why when the rest is not one
// file name (a slash or backslash inside, "..", a colon, ...: the change would land
// outside the panel's folder or on another name than the one typed).
int FtTypedName(const char *typed, char out[kFtPathField], const char **why);
