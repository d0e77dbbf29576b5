#!/usr/bin/env python3
"""Consistency check of the two language resource scripts. Usage: lang_check.py [repo_root]

Fails (exit 1) when a string id of lang/stringids.h or a Winsock error text is
missing from either library, the libraries' ids or printf conversions differ,
the Russian file is not Windows-1251 Cyrillic, the main menu (101) lacks a
command the main window handles, carries one it must not, or differs between
the languages in shape (the language switch carries item states by position),
or a command of the file-transfer window or its menus has no status-bar help
(MenuHelp shows the string whose id is the command's) in either library.
"""

import os
import re
import sys
from collections import Counter

from checker import Checker

# Winsock error numbers defined in WSAEINTR .. WSANO_DATA.
WINSOCK_ERRORS = frozenset([10004, 10009, 10013, 10014, 10022, 10024] + list(range(10035, 10072))
                           + [10091, 10092, 10093] + list(range(10101, 10113)) + [11001, 11002, 11003, 11004])

PRINTF_RE = re.compile(r"%(?:%|[-+ #0]*(?:\*|\d+)?(?:\.(?:\*|\d+))?(?:hh|h|ll|l|L|I64|I32|I|w)?[diouxXcCsSeEfgGaApn])")
DEFINE_RE = re.compile(r"^\s*#\s*define\s+(ID[SMR]_\w+)\s+(\d+)\b", re.M)
STRING_RE = r'"(?:[^"\n]|"")*"'
TOKEN_RE = re.compile(STRING_RE + r'|\w+|[^\s\w]')
COMMENT_RE = re.compile(STRING_RE + r'|//[^\n]*|/\*.*?\*/', re.S)
# One entry: id (number or name), optional comma, one or more string pieces.
ENTRY_RE = re.compile(r'\s*(\w+)\s*,?\s*((?:' + STRING_RE + r'\s*)+)')
PIECE_RE = re.compile(r'"((?:[^"\n]|"")*)"')

MAIN_MENU = 101
FT_MENUS = (146, 150, 151, 158)  # the frame's menu, the panels' context menus, the view drop-down
# Commands the main window handles from its menu; the screen submenu holds the
# single placeholder 41000 that the program replaces.
MAIN_MENU_COMMANDS = [
    40001, 40002, 40003, 40004, 40005, 40006, 40008, 40009, 40010, 40012,
    40013, 40014, 40015, 40016, 40017, 40018, 40019, 40020, 40021, 40022,
    40024, 40025, 40027, 40028, 40029, 40059, 40060, 41000]
SCREEN_PLACEHOLDER = 41000
TOOLTIP_MAX = 79  # TOOLTIPTEXT.szText holds 80 characters with the terminator


def strip_comments(text):
    """Remove // and /* */ comments, leaving string literals intact."""
    return COMMENT_RE.sub(lambda m: m.group(0) if m.group(0)[0] == '"' else " ", text)


def parse_defines(text):
    return {name: int(num) for name, num in DEFINE_RE.findall(text)}


def parse_stringtables(text, names, chk, label):
    """Return {id: text} of every STRINGTABLE in an .rc source."""
    strings = {}
    blocks = re.finditer(r"\bSTRINGTABLE\b[^\n]*\n\s*(?:BEGIN|\{)(.*?)^\s*(?:END|\})\s*$",
                         strip_comments(text), re.S | re.M)
    for block in blocks:
        body, pos = block.group(1), 0
        while True:
            m = ENTRY_RE.match(body, pos)
            if not m:
                break
            pos = m.end()
            key = m.group(1)
            if not chk.check(key.isdigit() or key in names, "%s: unknown id name %s" % (label, key)):
                continue
            sid = int(key) if key.isdigit() else names[key]
            chk.check(sid not in strings, "%s: id %d defined twice" % (label, sid))
            strings[sid] = "".join(p.replace('""', '"') for p in PIECE_RE.findall(m.group(2)))
        chk.check(body[pos:].strip() == "", "%s: unparsed STRINGTABLE text near %r"
                  % (label, body[pos:].strip()[:60]))
    return strings


def printf_specs(text):
    return [s for s in PRINTF_RE.findall(text) if s != "%%"]


def check_library(chk, label, strings, names):
    for name, sid in sorted(names.items(), key=lambda kv: kv[1]):
        if chk.check(sid in strings, "%s: %s (%d) missing" % (label, name, sid)):
            chk.check(strings[sid].strip() != "", "%s: %s (%d) is empty" % (label, name, sid))
        if name.startswith("IDS_TIP_"):
            chk.check(len(strings.get(sid, "")) <= TOOLTIP_MAX,
                      "%s: %s longer than %d characters" % (label, name, TOOLTIP_MAX))
    missing = sorted(WINSOCK_ERRORS - set(strings))
    chk.check(not missing, "%s: Winsock texts missing: %s" % (label, missing))


def check_pair(chk, en, ru):
    chk.check(set(en) == set(ru), "ids only in English: %s, only in Russian: %s"
              % (sorted(set(en) - set(ru)), sorted(set(ru) - set(en))))
    for sid in sorted(set(en) & set(ru)):
        chk.check(printf_specs(en[sid]) == printf_specs(ru[sid]), "%d: conversions differ: en %s ru %s"
                  % (sid, printf_specs(en[sid]), printf_specs(ru[sid])))


def menu_body(text, ids, menu=MAIN_MENU):
    """A menu as nested lists (one per BEGIN..END) of its tokens, with the texts
    dropped and id names turned into numbers; None when missing or not closed."""
    src = "\n".join(line for line in strip_comments(text).split("\n") if not line.lstrip().startswith("#"))
    tokens = [str(ids.get(t, t)) for t in TOKEN_RE.findall(src) if t[0] != '"']
    starts = [i for i in range(len(tokens) - 1) if tokens[i:i + 2] == [str(menu), "MENU"]]
    stack = [[]]
    for t in tokens[starts[0] + 2:] if len(starts) == 1 else []:
        if t in ("BEGIN", "{"):
            stack.append([])
        elif t in ("END", "}"):
            stack[-2].append(stack.pop())
            if len(stack) == 1:
                return stack[0][0]
        elif len(stack) > 1:
            stack[-1].append(t)
    return None


def menu_commands(level):
    """Ids of the MENUITEMs (text, id) in a level and below, as the tokens found."""
    out = []
    for i, t in enumerate(level):
        if isinstance(t, list):
            out += menu_commands(t)
        elif t == "MENUITEM" and level[i + 1:i + 2] == [","]:
            out += level[i + 2:i + 3]
    return out


def neighbours(level, a, b):
    text = " ".join("[]" if isinstance(t, list) else t for t in level)
    return (re.search(r"MENUITEM , %d (?:, |CHECKED |GRAYED |INACTIVE )*MENUITEM , %d\b" % (a, b), text) is not None
            or any(neighbours(t, a, b) for t in level if isinstance(t, list)))


def check_main_menu(chk, label, body):
    popups = [t for t in body or [] if isinstance(t, list)]
    if not chk.check(len(popups) >= 3 and "MENUITEM" not in body,
                     "%s: menu %d must hold at least three drop-down menus and nothing else" % (label, MAIN_MENU)):
        return
    cmds = Counter(int(c) if c.isdigit() else c for c in menu_commands(body))
    chk.check(cmds == Counter(MAIN_MENU_COMMANDS), "%s: menu %d lacks %s, has unknown, extra or twice %s" % (
        label, MAIN_MENU, sorted(Counter(MAIN_MENU_COMMANDS) - cmds), list(cmds - Counter(MAIN_MENU_COMMANDS))))
    # The program refills the first submenu of the third menu with the screen items.
    screens = next((t for t in popups[2] if isinstance(t, list)), [])
    chk.check(menu_commands(screens) == [str(SCREEN_PLACEHOLDER)],
              "%s: the third menu must hold a submenu of item %d alone" % (label, SCREEN_PLACEHOLDER))
    # The language commands form one radio group.
    chk.check(neighbours(body, 40028, 40029), "%s: 40028 and 40029 must be neighbours in one menu" % label)


def check_ft_menu_help(chk, en, ru, en_menus, ru_menus, ft_ids):
    chk.check(en_menus == ru_menus and all(en_menus), "menus %s differ between the languages or are missing"
              % (FT_MENUS,))
    ids = set(ft_ids) | {int(c) for m in en_menus for c in menu_commands(m or []) if c.isdigit()}
    for label, strings in (("cvresen.rc", en), ("cvresru.rc", ru)):
        bare = sorted(i for i in ids if not strings.get(i, "").strip())
        chk.check(not bare, "%s: no menu help for the file-transfer commands %s" % (label, bare))


def check_winsock_table_against_header(chk):
    """Guard the built-in number set against the MinGW header when present."""
    header = "/usr/share/mingw-w64/include/winerror.h"
    if not os.path.exists(header):
        return
    with open(header, encoding="latin-1") as f:
        found = {10000 + int(n) for n in
                 re.findall(r"#define\s+WSA\w+\s+\(WSABASEERR\s*\+\s*(\d+)\)", f.read())}
    found = {n for n in found if 10004 <= n <= 11004}
    chk.check(found == WINSOCK_ERRORS, "Winsock number set differs from %s: extra %s, missing %s"
              % (header, sorted(found - WINSOCK_ERRORS), sorted(WINSOCK_ERRORS - found)))


def self_test(chk):
    """Prove the parsers read what they must, so a parse slip cannot pass."""
    inner = Checker(quiet=True)
    en = parse_stringtables('STRINGTABLE\nBEGIN\n  IDS_A, "x ""%s"" %08X" // c\n  7, "a" /* "z" */ "b"\nEND\n',
                            {"IDS_A": 1}, inner, "en")
    chk.check(en == {1: 'x "%s" %08X', 7: "ab"} and inner.failed == 0, "self-test: strings %r" % en)
    check_pair(inner, en, {1: "x %d"})
    chk.check(inner.failed == 2, "self-test: expected 2 faults (id 7, conversions), got %d" % inner.failed)
    chk.check(printf_specs("100%% %-5.2f %I64u %ls") == ["%-5.2f", "%I64u", "%ls"], "self-test: printf_specs")
    rc = ('IDR_M MENU DISCARDABLE\nBEGIN\n  POPUP "&F" // c\n  BEGIN\n    MENUITEM "S && &q", IDM_X, CHECKED GRAYED\n'
          '    MENUITEM SEPARATOR\n    POPUP "&S", GRAYED\n    {\n      MENUITEM "&1", 41000\n    }\n  END\nEND\n')
    menu = menu_body(rc, {"IDM_X": "7", "IDR_M": str(MAIN_MENU)})
    chk.check(menu == ["POPUP", ["MENUITEM", ",", "7", ",", "CHECKED", "GRAYED", "MENUITEM", "SEPARATOR",
                                 "POPUP", ",", "GRAYED", ["MENUITEM", ",", "41000"]]]
              and menu_commands(menu) == ["7", "41000"], "self-test: menu parse %r" % menu)


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.normpath(
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    chk = Checker()
    self_test(chk)
    check_winsock_table_against_header(chk)

    def read(*path):
        with open(os.path.join(root, *path), "rb") as f:
            return f.read()
    names = parse_defines(read("lang", "stringids.h").decode("ascii"))
    chk.check(len(names) > 0 and len(set(names.values())) == len(names),
              "stringids.h: no ids, or two names share one number")
    chk.check(not (set(names.values()) & WINSOCK_ERRORS), "stringids.h: an id collides with a Winsock error number")

    en_raw, ru_raw = read("lang", "cvresen.rc"), read("lang", "cvresru.rc")
    chk.check(all(b < 0x80 for b in en_raw), "cvresen.rc: not plain ASCII")
    en_text = en_raw.decode("latin-1")
    try:
        ru_text = ru_raw.decode("cp1251")
    except UnicodeDecodeError as e:
        chk.check(False, "cvresru.rc: not valid cp1251: %s" % e)
        ru_text = ru_raw.decode("cp1251", errors="replace")
    chk.check(not ru_raw.startswith(b"\xef\xbb\xbf") and b"\xd0\xb0" not in ru_raw and b"\xd1\x8b" not in ru_raw,
              "cvresru.rc: looks like UTF-8, expected Windows-1251")
    chk.check(re.search(r"^\s*#pragma\s+code_page\(\s*1251\s*\)", ru_text, re.M) is not None,
              "cvresru.rc: #pragma code_page(1251) missing")

    commands = parse_defines(read("shell", "commands.h").decode("ascii"))
    ft_commands = parse_defines(read("filetransfer", "ftcommands.h").decode("ascii"))
    # Menu help strings are entered under the commands' own names.
    known = dict(names, **commands, **ft_commands)
    en = parse_stringtables(en_text, known, chk, "cvresen.rc")
    ru = parse_stringtables(ru_text, known, chk, "cvresru.rc")
    check_library(chk, "cvresen.rc", en, names)
    check_library(chk, "cvresru.rc", ru, names)
    chk.check(any("\u0410" <= c <= "\u044f" for s in ru.values() for c in s),
              "cvresru.rc: no Cyrillic text in the string tables")
    check_pair(chk, en, ru)

    chk.check(commands.get("IDR_MAIN_MENU") == MAIN_MENU, "commands.h: IDR_MAIN_MENU is not %d" % MAIN_MENU)
    en_menu, ru_menu = menu_body(en_text, commands), menu_body(ru_text, commands)
    check_main_menu(chk, "cvresen.rc", en_menu)
    check_main_menu(chk, "cvresru.rc", ru_menu)
    chk.check(en_menu == ru_menu, "menu %d differs between the languages in ids, flags or nesting" % MAIN_MENU)

    check_ft_menu_help(chk, en, ru, [menu_body(en_text, known, m) for m in FT_MENUS],
                       [menu_body(ru_text, known, m) for m in FT_MENUS],
                       [v for k, v in ft_commands.items() if k.startswith("IDM_FT_")])

    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
