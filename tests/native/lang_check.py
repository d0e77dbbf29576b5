#!/usr/bin/env python3
"""Consistency check of the two language resource scripts.

Usage: lang_check.py [repo_root]

Fails (exit 1) when the English and Russian string tables drift apart:
an id present in one library only, a missing Winsock error text, differing
printf conversions or edge blanks between the languages, or a Russian file
that is not Windows-1251 Cyrillic text.
"""

import os
import re
import sys

# Winsock error numbers defined in WSAEINTR .. WSANO_DATA.
WINSOCK_ERRORS = frozenset(
    [10004, 10009, 10013, 10014, 10022, 10024]
    + list(range(10035, 10072))
    + [10091, 10092, 10093]
    + list(range(10101, 10113))
    + [11001, 11002, 11003, 11004]
)

# Ids whose text gets other text appended or prepended by the code, and the
# edge that must carry a blank in every language.
EDGE_BLANKS = {
    "IDS_SETTINGS_KEY_FAILED": "end",
    "IDS_PASSWORD_CAPTION": "end",
    "IDS_CONNECTING_TO": "end",
    "IDS_UNKNOWN_REQUEST": "start",
}

PRINTF_RE = re.compile(
    r"%(?:%|[-+ #0]*(?:\*|\d+)?(?:\.(?:\*|\d+))?(?:hh|h|ll|l|L|I64|I32|I|w)?"
    r"[diouxXcCsSeEfgGaApn])"
)
DEFINE_RE = re.compile(r"^\s*#\s*define\s+(IDS_\w+)\s+(\d+)\b", re.M)
# One entry: id (number or name), optional comma, one or more string pieces.
ENTRY_RE = re.compile(r'\s*(\w+)\s*,?\s*((?:"(?:[^"\n]|"")*"\s*)+)')
PIECE_RE = re.compile(r'"((?:[^"\n]|"")*)"')


class Checker:
    def __init__(self, quiet=False):
        self.passed = 0
        self.failed = 0
        self.quiet = quiet

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            if not self.quiet:
                print("FAIL: " + message)
        return ok


def strip_comments(text):
    """Remove // and /* */ comments, leaving string literals intact."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"':
            j = i + 1
            while j < n:
                if text[j] == '"':
                    if j + 1 < n and text[j + 1] == '"':
                        j += 2
                        continue
                    break
                if text[j] == "\n":
                    break
                j += 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_header(text):
    return {name: int(num) for name, num in DEFINE_RE.findall(text)}


def parse_stringtables(text, names, chk, label):
    """Return {id: text} of every STRINGTABLE in an .rc source."""
    strings = {}
    src = strip_comments(text)
    blocks = re.finditer(
        r"\bSTRINGTABLE\b[^\n]*\n\s*(?:BEGIN|\{)(.*?)^\s*(?:END|\})\s*$",
        src, re.S | re.M)
    for block in blocks:
        body = block.group(1)
        pos = 0
        while True:
            m = ENTRY_RE.match(body, pos)
            if not m:
                break
            pos = m.end()
            key, pieces = m.group(1), m.group(2)
            if key.isdigit():
                sid = int(key)
            elif chk.check(key in names, "%s: unknown id name %s" % (label, key)):
                sid = names[key]
            else:
                continue
            value = "".join(p.replace('""', '"')
                            for p in PIECE_RE.findall(pieces))
            chk.check(sid not in strings, "%s: id %d defined twice" % (label, sid))
            strings[sid] = value
        chk.check(body[pos:].strip() == "",
                  "%s: unparsed STRINGTABLE text near %r"
                  % (label, body[pos:].strip()[:60]))
    return strings


def printf_specs(text):
    return [s for s in PRINTF_RE.findall(text) if s != "%%"]


def check_library(chk, label, strings, names):
    chk.check(len(strings) > 0, "%s: no strings parsed" % label)
    for name, sid in sorted(names.items(), key=lambda kv: kv[1]):
        if chk.check(sid in strings, "%s: %s (%d) missing" % (label, name, sid)):
            chk.check(strings[sid].strip() != "",
                      "%s: %s (%d) is empty" % (label, name, sid))
    missing = sorted(WINSOCK_ERRORS - set(strings))
    chk.check(not missing, "%s: Winsock texts missing: %s" % (label, missing))
    for name, edge in EDGE_BLANKS.items():
        text = strings.get(names.get(name, -1), "")
        ok = text.endswith(" ") if edge == "end" else text.startswith(" ")
        chk.check(ok, "%s: %s must %s with a blank" % (label, name, edge))


def check_pair(chk, en, ru, names):
    by_id = {v: k for k, v in names.items()}
    only_en = sorted(set(en) - set(ru))
    only_ru = sorted(set(ru) - set(en))
    chk.check(not only_en, "ids only in English: %s" % only_en)
    chk.check(not only_ru, "ids only in Russian: %s" % only_ru)
    for sid in sorted(set(en) & set(ru)):
        tag = by_id.get(sid, str(sid))
        chk.check(printf_specs(en[sid]) == printf_specs(ru[sid]),
                  "%s: conversions differ: en %s ru %s"
                  % (tag, printf_specs(en[sid]), printf_specs(ru[sid])))
        # A blank at either edge is where the code glues other text on.
        chk.check(en[sid][:1].isspace() == ru[sid][:1].isspace()
                  and en[sid][-1:].isspace() == ru[sid][-1:].isspace(),
                  "%s: leading/trailing blanks differ between languages" % tag)


def check_winsock_table_against_header(chk):
    """Guard the built-in number set against the MinGW header when present."""
    header = "/usr/share/mingw-w64/include/winerror.h"
    if not os.path.exists(header):
        return
    with open(header, encoding="latin-1") as f:
        text = f.read()
    found = {10000 + int(n) for n in
             re.findall(r"#define\s+WSA\w+\s+\(WSABASEERR\s*\+\s*(\d+)\)", text)}
    found = {n for n in found if 10004 <= n <= 11004}
    chk.check(found == WINSOCK_ERRORS,
              "Winsock number set differs from %s: extra %s, missing %s"
              % (header, sorted(found - WINSOCK_ERRORS),
                 sorted(WINSOCK_ERRORS - found)))


def self_test(chk):
    """Prove the checker rejects broken input, so a parse slip cannot pass."""
    names = {"IDS_A": 1, "IDS_B": 2}
    en_rc = ('STRINGTABLE\nBEGIN\n  IDS_A, "x ""%s"" %08X" // c\n'
             '  IDS_B "y"\n  7, "a" "b"\nEND\n')
    ru_rc = 'STRINGTABLE\n{\n  IDS_A, "x %d"\n  IDS_B, "y "\n}\n'
    inner = Checker(quiet=True)
    en = parse_stringtables(en_rc, names, inner, "en")
    ru = parse_stringtables(ru_rc, names, inner, "ru")
    chk.check(en == {1: 'x "%s" %08X', 2: "y", 7: "ab"},
              "self-test: parser result %r" % en)
    check_pair(inner, en, ru, names)
    # Expected: id 7 only in English, conversions differ, edge blank differs.
    chk.check(inner.failed == 3,
              "self-test: expected 3 detected faults, got %d" % inner.failed)
    chk.check(printf_specs("100%% %-5.2f %I64u %ls") == ["%-5.2f", "%I64u", "%ls"],
              "self-test: printf_specs")


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.normpath(
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    lang = os.path.join(root, "lang")
    chk = Checker()
    self_test(chk)
    check_winsock_table_against_header(chk)

    with open(os.path.join(lang, "stringids.h"), encoding="ascii") as f:
        names = parse_header(f.read())
    chk.check(len(names) > 0, "stringids.h: no ids")
    chk.check(len(set(names.values())) == len(names),
              "stringids.h: two names share one number")
    chk.check(not (set(names.values()) & WINSOCK_ERRORS),
              "stringids.h: an id collides with a Winsock error number")

    with open(os.path.join(lang, "cvresen.rc"), "rb") as f:
        en_raw = f.read()
    with open(os.path.join(lang, "cvresru.rc"), "rb") as f:
        ru_raw = f.read()

    chk.check(all(b < 0x80 for b in en_raw), "cvresen.rc: not plain ASCII")
    en_text = en_raw.decode("latin-1")
    try:
        ru_text = ru_raw.decode("cp1251")
        chk.check(True, "")
    except UnicodeDecodeError as e:
        chk.check(False, "cvresru.rc: not valid cp1251: %s" % e)
        ru_text = ru_raw.decode("cp1251", errors="replace")
    chk.check(not ru_raw.startswith(b"\xef\xbb\xbf")
              and b"\xd0\xb0" not in ru_raw and b"\xd1\x8b" not in ru_raw,
              "cvresru.rc: looks like UTF-8, expected Windows-1251")
    chk.check(re.search(r"^\s*#pragma\s+code_page\(\s*1251\s*\)", ru_text, re.M)
              is not None, "cvresru.rc: #pragma code_page(1251) missing")
    chk.check(re.search(r"\bLANGUAGE\s+LANG_ENGLISH\s*,\s*SUBLANG_ENGLISH_US",
                        en_text) is not None, "cvresen.rc: LANGUAGE missing")
    chk.check(re.search(r"\bLANGUAGE\s+LANG_RUSSIAN\s*,\s*SUBLANG_DEFAULT",
                        ru_text) is not None, "cvresru.rc: LANGUAGE missing")

    en = parse_stringtables(en_text, names, chk, "cvresen.rc")
    ru = parse_stringtables(ru_text, names, chk, "cvresru.rc")
    check_library(chk, "cvresen.rc", en, names)
    check_library(chk, "cvresru.rc", ru, names)
    chk.check(any("\u0400" <= c <= "\u04ff" for s in ru.values() for c in s),
              "cvresru.rc: no Cyrillic text in the string tables")
    check_pair(chk, en, ru, names)

    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
