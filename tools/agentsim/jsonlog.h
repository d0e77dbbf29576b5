// One JSON object per line for the simulator's log. Output is pure ASCII: control
// characters, quotes, backslashes and bytes from 0x7F up are escaped as \uXXXX
// (bytes map to U+0000..U+00FF), so any consumer can parse it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct JsonLine {
    std::string text;
    int fields; // fields written so far, for the commas
};

void JsonBegin(JsonLine *j, const char *ev);
void JsonUint(JsonLine *j, const char *key, uint64_t v);
void JsonInt(JsonLine *j, const char *key, int64_t v);
void JsonBool(JsonLine *j, const char *key, int v);
void JsonNull(JsonLine *j, const char *key);
// len bytes of text, escaped; stops at nothing (pass the length you want).
void JsonStr(JsonLine *j, const char *key, const char *s, size_t len);
void JsonCStr(JsonLine *j, const char *key, const char *s);
// Lower-case hex of at most max bytes.
void JsonHex(JsonLine *j, const char *key, const uint8_t *p, size_t len, size_t max);
// A value that is already JSON (an object or array built by the caller).
void JsonRaw(JsonLine *j, const char *key, const std::string &json);
// Closes the object and appends a newline; returns the line.
const std::string &JsonEnd(JsonLine *j);

// Appends the escaped form of s (without quotes) to out.
void JsonEscape(std::string *out, const char *s, size_t len);
