#!/usr/bin/env python3
"""Consistency check of the two language resource scripts.

Usage: lang_check.py [repo_root]

Fails (exit 1) when the English and Russian string tables drift apart:
an id present in one library only, a missing Winsock error text, differing
printf conversions or edge blanks between the languages, or a Russian file
that is not Windows-1251 Cyrillic text; or when the main menu (101) differs
between the libraries in nesting, command ids or item flags, lacks a command
the main window handles, or carries one it must not.
"""

import os
import re
import sys

from checker import Checker

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
COMMAND_RE = re.compile(r"^\s*#\s*define\s+(ID[MR]_\w+)\s+(\d+)\b", re.M)
TOKEN_RE = re.compile(r'"(?:[^"\n]|"")*"|\w+|[^\s\w]')

MAIN_MENU = 101
# Commands the main window handles from its menu; the screen submenu starts
# with the single placeholder 41000 that the program replaces.
MAIN_MENU_COMMANDS = frozenset(
    [40001, 40002, 40003, 40004, 40005, 40006, 40008, 40009, 40010, 40012,
     40013, 40014, 40015, 40016, 40017, 40018, 40019, 40020, 40021, 40022,
     40024, 40025, 40027, 40028, 40029, 40059, 40060, 41000])
SCREEN_PLACEHOLDER = 41000
MENU_FLAGS = frozenset(["CHECKED", "GRAYED", "INACTIVE", "MENUBARBREAK",
                        "MENUBREAK", "HELP"])
TOOLTIP_MAX = 79  # TOOLTIPTEXT.szText holds 80 characters with the terminator
# One entry: id (number or name), optional comma, one or more string pieces.
ENTRY_RE = re.compile(r'\s*(\w+)\s*,?\s*((?:"(?:[^"\n]|"")*"\s*)+)')
PIECE_RE = re.compile(r'"((?:[^"\n]|"")*)"')


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
    for name, sid in names.items():
        if name.startswith("IDS_TIP_"):
            chk.check(len(strings.get(sid, "")) <= TOOLTIP_MAX,
                      "%s: %s longer than %d characters" % (label, name, TOOLTIP_MAX))


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


# ---------------------------------------------------------------------------
# Menus. A node is ("SEP",), ("ITEM", id, flags, text) or
# ("POPUP", flags, text, children).
# ---------------------------------------------------------------------------
class MenuSyntaxError(Exception):
    pass


def menu_tokens(text):
    src = strip_comments(text)
    src = "\n".join(line for line in src.split("\n")
                    if not line.lstrip().startswith("#"))
    return TOKEN_RE.findall(src)


def resolve_id(token, ids):
    if token.isdigit():
        return int(token)
    if token in ids:
        return ids[token]
    raise MenuSyntaxError("unknown id name %s" % token)


def unquote(token):
    if not (token.startswith('"') and token.endswith('"')):
        raise MenuSyntaxError("expected a string, got %s" % token)
    return token[1:-1].replace('""', '"')


def parse_flags(tokens, pos):
    flags = set()
    while pos < len(tokens) and (tokens[pos] == "," or tokens[pos] in MENU_FLAGS):
        if tokens[pos] != ",":
            flags.add(tokens[pos])
        pos += 1
    return frozenset(flags), pos


def parse_menu_items(tokens, pos, ids):
    """tokens[pos] is the first token after BEGIN; returns (nodes, pos after END)."""
    nodes = []
    while pos < len(tokens):
        tok = tokens[pos]
        if tok in ("END", "}"):
            return nodes, pos + 1
        if tok == "MENUITEM" and pos + 1 < len(tokens) and tokens[pos + 1] == "SEPARATOR":
            nodes.append(("SEP",))
            pos += 2
        elif tok == "MENUITEM":
            if pos + 3 >= len(tokens) or tokens[pos + 2] != ",":
                raise MenuSyntaxError("MENUITEM without text, id near %s" % tokens[pos + 1:pos + 4])
            text = unquote(tokens[pos + 1])
            cmd = resolve_id(tokens[pos + 3], ids)
            flags, pos = parse_flags(tokens, pos + 4)
            nodes.append(("ITEM", cmd, flags, text))
        elif tok == "POPUP":
            text = unquote(tokens[pos + 1])
            flags, pos = parse_flags(tokens, pos + 2)
            if pos >= len(tokens) or tokens[pos] not in ("BEGIN", "{"):
                raise MenuSyntaxError("POPUP %r without BEGIN" % text)
            children, pos = parse_menu_items(tokens, pos + 1, ids)
            nodes.append(("POPUP", flags, text, children))
        else:
            raise MenuSyntaxError("unexpected %r in a menu" % tok)
    raise MenuSyntaxError("menu not closed")


def parse_menus(text, ids, chk, label):
    """Return {menu id: nodes} of every MENU resource in an .rc source."""
    tokens = menu_tokens(text)
    menus = {}
    for i, tok in enumerate(tokens):
        if tok != "MENU" or i == 0:
            continue
        try:
            mid = resolve_id(tokens[i - 1], ids)
            pos = i + 1
            while pos < len(tokens) and tokens[pos] not in ("BEGIN", "{"):
                pos += 1  # memory options before the body
            nodes, _ = parse_menu_items(tokens, pos + 1, ids)
        except (MenuSyntaxError, IndexError) as e:
            chk.check(False, "%s: menu after %r: %s" % (label, tokens[i - 1], e))
            continue
        chk.check(mid not in menus, "%s: menu %d defined twice" % (label, mid))
        menus[mid] = nodes
    return menus


def menu_shape(nodes):
    """The menu without its texts: what must be equal in every language."""
    out = []
    for n in nodes:
        if n[0] == "SEP":
            out.append(("SEP",))
        elif n[0] == "ITEM":
            out.append(("ITEM", n[1], tuple(sorted(n[2]))))
        else:
            out.append(("POPUP", tuple(sorted(n[1])), menu_shape(n[3])))
    return out


def first_difference(a, b, path="menu"):
    for i in range(max(len(a), len(b))):
        x = a[i] if i < len(a) else None
        y = b[i] if i < len(b) else None
        if x is None or y is None or x[0] != y[0]:
            return "%s[%d]: %r vs %r" % (path, i, x and x[:2], y and y[:2])
        if x[0] == "POPUP":
            if x[1] != y[1]:
                return "%s[%d]: popup flags %r vs %r" % (path, i, x[1], y[1])
            inner = first_difference(x[2], y[2], "%s[%d]" % (path, i))
            if inner:
                return inner
        elif x != y:
            return "%s[%d]: %r vs %r" % (path, i, x, y)
    return None


def menu_commands(nodes):
    for n in nodes:
        if n[0] == "ITEM":
            yield n[1]
        elif n[0] == "POPUP":
            yield from menu_commands(n[3])


def mnemonic(text):
    """The character after the single '&' ('&&' is a literal), '' if none, None if several."""
    marks = [i for i, c in enumerate(text.replace("&&", "\0\0")) if c == "&"]
    if len(marks) != 1 or marks[0] + 1 >= len(text):
        return None if len(marks) > 1 else ""
    return text[marks[0] + 1].lower()


def check_popup_level(chk, label, path, nodes):
    """One popup's items: not empty, tidy separators, one distinct mnemonic each."""
    chk.check(any(n[0] != "SEP" for n in nodes), "%s: %s is empty" % (label, path))
    kinds = [n[0] for n in nodes]
    chk.check(not kinds or (kinds[0] != "SEP" and kinds[-1] != "SEP"),
              "%s: %s starts or ends with a separator" % (label, path))
    chk.check(all(not (a == b == "SEP") for a, b in zip(kinds, kinds[1:])),
              "%s: %s has two separators in a row" % (label, path))
    seen = {}
    for n in nodes:
        if n[0] == "SEP":
            continue
        text = n[3] if n[0] == "ITEM" else n[2]
        key = mnemonic(text)
        if chk.check(bool(key) and not key.isspace(),
                     "%s: %s item %r needs exactly one & mnemonic" % (label, path, text)):
            chk.check(key not in seen, "%s: %s items %r and %r share the mnemonic %r"
                      % (label, path, seen.get(key), text, key))
            seen[key] = text
        if n[0] == "POPUP":
            check_popup_level(chk, label, "%s/%s" % (path, text), n[3])


def check_main_menu(chk, label, menus):
    if not chk.check(MAIN_MENU in menus, "%s: menu %d missing" % (label, MAIN_MENU)):
        return
    top = menus[MAIN_MENU]
    chk.check(len(top) >= 3 and all(n[0] == "POPUP" for n in top),
              "%s: the main menu bar must hold only drop-down menus, at least three" % label)
    check_popup_level(chk, label, "menu bar", top)
    cmds = list(menu_commands(top))
    dup = sorted({c for c in cmds if cmds.count(c) > 1})
    chk.check(not dup, "%s: commands twice in menu %d: %s" % (label, MAIN_MENU, dup))
    chk.check(not (MAIN_MENU_COMMANDS - set(cmds)),
              "%s: menu %d lacks %s" % (label, MAIN_MENU, sorted(MAIN_MENU_COMMANDS - set(cmds))))
    chk.check(not (set(cmds) - MAIN_MENU_COMMANDS),
              "%s: menu %d carries %s" % (label, MAIN_MENU, sorted(set(cmds) - MAIN_MENU_COMMANDS)))
    # The program refills the third menu's first submenu with the screen items.
    view = top[2] if len(top) > 2 and top[2][0] == "POPUP" else None
    screens = view and next((n for n in view[3] if n[0] == "POPUP"), None)
    chk.check(bool(view) and view[3][:1] == [screens] and screens is not None,
              "%s: the third menu must open with the screen submenu" % label)
    chk.check(screens is not None and [n[:2] for n in screens[3]] == [("ITEM", SCREEN_PLACEHOLDER)],
              "%s: the screen submenu must hold only item %d" % (label, SCREEN_PLACEHOLDER))
    # The two language commands form one radio group: neighbours in one popup.
    def pair_in(nodes):
        ids = [n[1] if n[0] == "ITEM" else None for n in nodes]
        for a, b in zip(ids, ids[1:]):
            if (a, b) == (40028, 40029):
                return True
        return any(pair_in(n[3]) for n in nodes if n[0] == "POPUP")
    chk.check(pair_in(top), "%s: 40028 and 40029 must be neighbours in one menu" % label)


def check_menu_pair(chk, en, ru):
    chk.check(set(en) == set(ru), "menus differ: en %s ru %s" % (sorted(en), sorted(ru)))
    for mid in sorted(set(en) & set(ru)):
        diff = first_difference(menu_shape(en[mid]), menu_shape(ru[mid]))
        chk.check(diff is None, "menu %d differs between languages at %s" % (mid, diff))


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
    self_test_menus(chk)


def sample_main_menu(view_first_is_screens=True, extra=()):
    """A minimal main menu that satisfies check_main_menu, or a broken variant."""
    bars = [[40001, 40010, 40013], [40002, 40003, 40024, 40004, 40012], None,
            [40017, 40018, 40021, 40022, 40019, 40025, 40020] + list(extra),
            [40008, 40009, 40028, 40029], [40014, 40015, 40016]]
    screens = 'POPUP "&Screen"\n{ MENUITEM "&1", 41000, GRAYED }\n'
    view = ''.join('MENUITEM "&%s", %d\n' % ("cahfu"[i], c)
                   for i, c in enumerate([40060, 40059, 40005, 40006, 40027]))
    view = screens + view if view_first_is_screens else view + screens
    out = "101 MENU\nBEGIN\n"
    for n, cmds in enumerate(bars):
        out += 'POPUP "&%d"\nBEGIN\n' % n
        out += view if cmds is None else ''.join(
            'MENUITEM "&%s", %d\n' % ("abcdefghij"[i], c) for i, c in enumerate(cmds))
        out += "END\n"
    return out + "END\n"


def self_test_menus(chk):
    ids = {"IDM_X": 7, "IDR_M": 5}
    rc = ('IDR_M MENU DISCARDABLE\nBEGIN\n  POPUP "&File" // c\n  BEGIN\n'
          '    MENUITEM "Save && &quit", IDM_X, CHECKED GRAYED\n'
          '    MENUITEM SEPARATOR\n    POPUP "&Sub", GRAYED\n    {\n'
          '      MENUITEM "&1", 41000\n    }\n  END\nEND\n')
    inner = Checker(quiet=True)
    menus = parse_menus(rc, ids, inner, "t")
    want = {5: [("POPUP", frozenset(), "&File", [
        ("ITEM", 7, frozenset(["CHECKED", "GRAYED"]), "Save && &quit"),
        ("SEP",),
        ("POPUP", frozenset(["GRAYED"]), "&Sub", [("ITEM", 41000, frozenset(), "&1")])])]}
    chk.check(menus == want and inner.failed == 0, "self-test: menu parse %r" % menus)
    chk.check(mnemonic("Save && &quit") == "q" and mnemonic("&a&b") is None
              and mnemonic("none") == "", "self-test: mnemonic")
    # Same texts, different flags, ids or nesting must all be told apart.
    for variant in (rc.replace("CHECKED GRAYED", "CHECKED"),
                    rc.replace("IDM_X", "8"),
                    rc.replace('POPUP "&Sub", GRAYED', 'POPUP "&Sub"'),
                    rc.replace("MENUITEM SEPARATOR\n", "")):
        other = parse_menus(variant, ids, inner, "t")
        chk.check(first_difference(menu_shape(menus[5]), menu_shape(other[5])) is not None,
                  "self-test: menu difference missed in %r" % variant)
    bad = Checker(quiet=True)
    parse_menus('1 MENU\nBEGIN\n MENUITEM "&a", IDM_NOPE\nEND\n', ids, bad, "t")
    chk.check(bad.failed == 1, "self-test: unknown menu id name accepted")

    good = Checker(quiet=True)
    check_main_menu(good, "t", parse_menus(sample_main_menu(), {}, good, "t"))
    chk.check(good.failed == 0 and good.passed > 0, "self-test: sample main menu refused")
    for broken in (sample_main_menu(view_first_is_screens=False),
                   sample_main_menu(extra=[40023]),
                   sample_main_menu().replace("40028, ", "40028, GRAYED,").replace(
                       "40029", "40014"),
                   sample_main_menu().replace('"&b", 40010', '"&a", 40010')):
        inner = Checker(quiet=True)
        check_main_menu(inner, "t", parse_menus(broken, {}, inner, "t"))
        chk.check(inner.failed > 0, "self-test: broken main menu accepted:\n%s" % broken)


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

    with open(os.path.join(root, "shell", "commands.h"), encoding="ascii") as f:
        commands = {k: int(v) for k, v in COMMAND_RE.findall(f.read())}
    chk.check(commands.get("IDR_MAIN_MENU") == MAIN_MENU,
              "commands.h: IDR_MAIN_MENU is not %d" % MAIN_MENU)
    en_menus = parse_menus(en_text, commands, chk, "cvresen.rc")
    ru_menus = parse_menus(ru_text, commands, chk, "cvresru.rc")
    check_main_menu(chk, "cvresen.rc", en_menus)
    check_main_menu(chk, "cvresru.rc", ru_menus)
    check_menu_pair(chk, en_menus, ru_menus)

    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
