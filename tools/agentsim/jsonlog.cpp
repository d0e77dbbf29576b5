// JSON line builder for the simulator's event log.
#include "tools/agentsim/jsonlog.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

void JsonEscape(std::string *out, const char *s, size_t len)
{
    static const char hex[] = "0123456789abcdef";
    for (size_t i = 0; i < len; i++) {
        unsigned char c = (unsigned char)s[i];
        switch (c) {
        case '"':
            *out += "\\\"";
            break;
        case '\\':
            *out += "\\\\";
            break;
        case '\n':
            *out += "\\n";
            break;
        case '\r':
            *out += "\\r";
            break;
        case '\t':
            *out += "\\t";
            break;
        case '\b':
            *out += "\\b";
            break;
        case '\f':
            *out += "\\f";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                *out += "\\u00";
                *out += hex[c >> 4];
                *out += hex[c & 15];
            } else {
                *out += (char)c;
            }
        }
    }
}

static void Key(JsonLine *j, const char *key)
{
    if (j->fields++)
        j->text += ',';
    j->text += '"';
    JsonEscape(&j->text, key, strlen(key));
    j->text += "\":";
}

void JsonBegin(JsonLine *j, const char *ev)
{
    j->text = "{";
    j->fields = 0;
    JsonCStr(j, "ev", ev);
}

void JsonUint(JsonLine *j, const char *key, uint64_t v)
{
    char buf[24];
    snprintf(buf, sizeof buf, "%" PRIu64, v);
    Key(j, key);
    j->text += buf;
}

void JsonInt(JsonLine *j, const char *key, int64_t v)
{
    char buf[24];
    snprintf(buf, sizeof buf, "%" PRId64, v);
    Key(j, key);
    j->text += buf;
}

void JsonBool(JsonLine *j, const char *key, int v)
{
    Key(j, key);
    j->text += v ? "true" : "false";
}

void JsonNull(JsonLine *j, const char *key)
{
    Key(j, key);
    j->text += "null";
}

void JsonStr(JsonLine *j, const char *key, const char *s, size_t len)
{
    Key(j, key);
    j->text += '"';
    JsonEscape(&j->text, s, len);
    j->text += '"';
}

void JsonCStr(JsonLine *j, const char *key, const char *s) { JsonStr(j, key, s, strlen(s)); }

void JsonHex(JsonLine *j, const char *key, const uint8_t *p, size_t len, size_t max)
{
    static const char hex[] = "0123456789abcdef";
    if (len > max)
        len = max;
    Key(j, key);
    j->text += '"';
    for (size_t i = 0; i < len; i++) {
        j->text += hex[p[i] >> 4];
        j->text += hex[p[i] & 15];
    }
    j->text += '"';
}

void JsonRaw(JsonLine *j, const char *key, const std::string &json)
{
    Key(j, key);
    j->text += json;
}

const std::string &JsonEnd(JsonLine *j)
{
    j->text += "}\n";
    return j->text;
}
