#!/usr/bin/env python3
"""Writes the golden walks of the system menu tree from the design document.

    tools/menuwalk/menuwalk.py DOCUMENT.md [REPO]

DOCUMENT.md is the design document; this tool reads only its section whose
heading ends in ": Menu tree and settings": the value-name lists, the table
of settings (ranges, built-in values, items, value names) and the bulleted
tree (menus, items and their Chinese and English names). It knows nothing of
the program's code or output. From them it simulates a listener who opens
the system menu from the file browser with MENU and walks every visible
entry: DOWN through each menu (wrapping once round), OK into each submenu
and BACK out of it, RIGHT through every value of every value item until it
comes back to where it started (in the stories only of the items whose
start-up mask narrows their values), MENU over to the file menu and back,
and BACK to the browser. Each key is followed by the exact line the player must
speak, as `expect next` lines of a story.

What the menu engine does with these keys is encoded below (walk()): a
submenu, or a command item, is spoken by its name; a value item as
"name, value" ("name, number" without value names); the language item in the
language of the value being browsed; a menu keeps its position between
openings; OK on a value item speaks the done message and then the item again.

Written files (REPO defaults to the repository holding this tool):
  tests/e2e/stories/menu_walk_zh.story   start-up tree, Chinese (factory-test
                                         flag present, so "Cancel test" shows)
  tests/e2e/stories/menu_walk_en.story   start-up tree, switched to English
                                         through the language item first;
                                         into a submenu only where the tree
                                         differs from the Chinese story's
  tests/unit/menu/walks/all_zh.walk      every item shown and every value
  tests/unit/menu/walks/all_en.walk      allowed, for the in-process replay

The stories check what only the running player has: which items show at
start-up, the value each starts at (the board's own built-in values
included), the values a start-up mask allows, and the switch of language.
Every value of every item, in both languages, is the in-process replay's
(tests/unit/menu/menu_walk_test.cpp): the stories browse only the values
that a mask narrows.

Run it again only when the document's menu section or EXTRAS (the
player's own additions) change; the outputs are committed and the tests
never read the document.
"""
import os
import re
import sys

# ---------------------------------------------------------------- reading


def section(doc, title):
    lines = doc.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("# ") and l.endswith(": " + title))
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("# ")), len(lines))
    return lines[start:end]


PAIR = re.compile(r'"([^"]*)"(?:\s*/\s*(?:"([^"]*)"|(blank)))?')
IDENT = re.compile(r"`([A-Za-z0-9_]+)`")

DIGITS = "零一二三四五六七八九"


def chinese_number(n):
    """Chinese numerals as the document spells percentages (五十, 一百一十)."""
    if n >= 100:
        s = DIGITS[n // 100] + "百"
        n %= 100
        if n == 0:
            return s
        if n < 10:
            return s + "零" + DIGITS[n]
        return s + DIGITS[n // 10] + "十" + (DIGITS[n % 10] if n % 10 else "")
    if n >= 10:
        return ("" if n // 10 == 1 else DIGITS[n // 10]) + "十" + (DIGITS[n % 10] if n % 10 else "")
    return DIGITS[n]


def strip_parens(text):
    out, depth = [], 0
    for c in text:
        if c == "(":
            depth += 1
        elif c == ")":
            depth = max(0, depth - 1)
        elif depth == 0:
            out.append(c)
    return "".join(out)


def pairs_of(text):
    """[(zh, en or None)] of the quoted texts in order; a "blank" English is " "."""
    out = []
    for m in PAIR.finditer(text):
        en = m.group(2) if m.group(2) is not None else (" " if m.group(3) else None)
        out.append((m.group(1), en))
    return out


def fill_english(names):
    """Entries given only in Chinese ("10秒") take the English of an entry
    with the same unit ("5秒" / "5 seconds"), in the plural unless 1."""
    units = {}
    for zh, en in names:
        m = re.fullmatch(r"(\d+)(\D+)", zh)
        if m and en:
            word = en.split(" ", 1)[1]
            units[m.group(2)] = word if word.endswith("s") or m.group(1) != "1" else word + "s"
    out = []
    for zh, en in names:
        if en is None:
            m = re.fullmatch(r"(\d+)(\D+)", zh)
            if not m or m.group(2) not in units:
                raise SystemExit(f"no English for {zh}")
            n, word = m.group(1), units[m.group(2)]
            en = f"{n} {word if n != '1' else word.rstrip('s')}"
        out.append((zh, en))
    return out


def interpolate(text):
    """ "流 1" / "stream  1" ... "流 5" / "stream  5": the run between two entries."""
    first, last = pairs_of(text)[:2]
    a = int(re.search(r"\d+", first[0]).group())
    b = int(re.search(r"\d+", last[0]).group())
    return [(re.sub(r"\d+", str(n), first[0]), re.sub(r"\d+", str(n), first[1])) for n in range(a, b + 1)]


def music_speed(bullet):
    """The music speed list: three runs described by their end entries."""
    names = []
    for run in re.finditer(r'index (\d+)(?:\.\.(\d+))? ("[^"]*" / "[^"]*") → (-?\d+)'
                           r'(?: (?:down|up) to ("[^"]*" / "[^"]*") → (-?\d+) in steps of (\d+))?', bullet):
        lo = int(run.group(1))
        hi = int(run.group(2) or lo)
        (zh0, en0), = pairs_of(run.group(3))
        if run.group(5) is None:
            names.append((zh0, en0))
            continue
        v0, v1, step = int(run.group(4)), int(run.group(6)), int(run.group(7))
        values = list(range(v0, v1 + (step if v1 > v0 else -step), step if v1 > v0 else -step))
        if len(values) != hi - lo + 1:
            raise SystemExit(f"music speed run {lo}..{hi}: {len(values)} values")
        n0 = abs(v0)
        zh_prefix = zh0[: len(zh0) - len(chinese_number(n0))]
        if zh_prefix + chinese_number(n0) != zh0:
            raise SystemExit(f"music speed: {zh0} is not spelled as expected")
        for v in values:
            names.append((zh_prefix + chinese_number(abs(v)), en0.replace(str(n0), str(abs(v)))))
        (zh1, en1), = pairs_of(run.group(5))
        if names[-1] != (zh1, en1):
            raise SystemExit(f"music speed run ends in {names[-1]}, the document says {(zh1, en1)}")
    return names


class Item:
    def __init__(self, ident):
        self.ident = ident
        self.names = None      # (zh, en)
        self.kind = "command"  # command | value | menu
        self.children = []     # menus: idents
        self.values = None     # value items with value names: [(zh, en)]
        self.lo = self.hi = self.default = 0
        self.hidden = False
        self.startup_mask = None
        self.language = False


def read_tree(doc):
    lines = section(doc, "Menu tree and settings")
    text = "\n".join(lines)
    lists = {}
    for l in lines:
        if l.startswith("- Voices"):
            lists["voices"] = pairs_of(l.split("):", 1)[1].split(". The set functions")[0])
        elif l.startswith("- Effects"):
            lists["effects"] = pairs_of(l.split("):", 1)[1])
        elif l.startswith("- Music speed"):
            lists["music speed"] = music_speed(l)
    if len(lists.get("voices", [])) != 8 or len(lists.get("effects", [])) != 4 or len(lists.get("music speed", [])) != 41:
        raise SystemExit("value-name lists not found")

    items = {}

    def item(ident):
        return items.setdefault(ident, Item(ident))

    # The settings table.
    previous = None
    for l in lines:
        if not l.startswith("| `M"):
            continue
        cells = [c.strip() for c in l.strip().strip("|").split("|")]
        key_cell, range_cell, builtin, items_cell, values_cell = cells[:5]
        if len(IDENT.findall(key_cell)) != 1:
            continue  # settings saved and loaded only
        if range_cell.endswith("only"):
            lo = hi = int(range_cell.split()[0])
        else:
            lo, hi = (int(x) for x in range_cell.split(".."))
        idents = IDENT.findall(strip_parens(items_cell))
        if values_cell in lists:
            names = lists[values_cell]
        elif values_cell == "number":
            names = None
        elif values_cell == "as above":
            names = previous
        elif "spoken in English" in values_cell:
            # The language item: each language is named in its own language.
            names = [(zh, zh) for zh, _ in pairs_of(values_cell)]
        elif "..." in values_cell:
            names = interpolate(values_cell)
        else:
            names = fill_english(pairs_of(strip_parens(values_cell)))
        previous = names
        mask = re.search(r"\(mask (\d+)\)", values_cell)
        for ident in idents:
            it = item(ident)
            it.kind = "value"
            it.lo, it.hi, it.default = lo, hi, int(builtin)
            it.values = names
            it.language = "spoken in English" in values_cell
            it.startup_mask = int(mask.group(1)) if mask else None
            remark = re.search(r"`%s` \(([^)]*)\)" % ident, items_cell)
            it.hidden = bool(remark and re.search(r"\bhidden\b(?! on)", remark.group(1)))
            if names is not None and len(names) != hi - lo + 1:
                raise SystemExit(f"{ident}: {len(names)} value names for {lo}..{hi}")

    # Items that hold state but are not saved: the cancel-test item.
    m = re.search(r"`CancelTest` \(value name a single blank, mapped 1; hidden until", text)
    if not m:
        raise SystemExit("cancel-test item not described as expected")
    ct = item("CancelTest")
    ct.kind, ct.lo, ct.hi, ct.default, ct.values, ct.hidden = "value", 0, 0, 0, [(" ", " ")], True

    done = re.search(r'carry the done message "([^"]*)" / "([^"]*)"', text)
    # The v2.0 board's own built-in value (the stories run on a v2.0 board).
    v2 = re.search(r"on hardware v2\.0 \(`HardVer` 32\) `(M\w+)` = (\d+)", text)
    if not v2:
        raise SystemExit("v2.0 built-in value not found")
    v2_defaults = {v2.group(1): int(v2.group(2))}

    # The tree: one bullet per menu, until the screen menus.
    start = next(i for i, l in enumerate(lines) if l.startswith("The tree ("))
    bullets = []
    for l in lines[start + 1:]:
        if not l.startswith("- "):
            if bullets:
                break
            continue
        if l.startswith("- Screen menus"):
            break
        bullets.append(l[2:])
    menu_idents = [IDENT.match(b).group(1) for b in bullets]
    splices = {}
    for b in bullets:
        parse_bullet(b, item, set(menu_idents), splices)
    for ident, target in splices.items():
        it = items[ident]
        it.children = [c if c != "@" + target else None for c in it.children]
        i = it.children.index(None)
        it.children[i:i + 1] = items[target].children
    board = {}
    for l in lines:
        if l.startswith("| `M"):
            cells = [c.strip() for c in l.strip().strip("|").split("|")]
            key = IDENT.findall(cells[0])
            if len(key) == 1 and key[0] in v2_defaults:
                for ident in IDENT.findall(strip_parens(cells[3])):
                    board[ident] = v2_defaults[key[0]]
    return items, (done.group(1), done.group(2)), board


# Entries the player has beyond the document's tree: (menu, identifier,
# Chinese and English names), appended to that menu as command items.
EXTRAS = [("SystemFuncMenu", "KeyDescriber", ("按键说明", "Key describer"))]


def add_extras(items):
    for menu, ident, names in EXTRAS:
        it = items.setdefault(ident, Item(ident))
        it.names = names
        items[menu].children.append(ident)


def tokens(text):
    for m in re.finditer(r'`([A-Za-z0-9_]+)`|"([^"]*)"|(\()|(\))|(/)|(\bblank\b)|(commands of)|(the last two start hidden)|(:)', text):
        kinds = ["ident", "text", "(", ")", "/", "blank", "splice", "last-two-hidden", ":"]
        for k, g in zip(kinds, m.groups()):
            if g is not None:
                yield k, g, m.end()
                break


def parse_bullet(bullet, item, menus, splices):
    toks = list(tokens(bullet))
    # Header: `Menu` "zh" / "en" (remarks): items...
    menu = item(toks[0][1])
    menu.kind = "menu"
    i = 1
    names, i = names_at(toks, i)
    menu.names = names
    depth = 0
    while i < len(toks) and not (toks[i][0] == ":" and depth == 0):
        depth += {"(": 1, ")": -1}.get(toks[i][0], 0)
        i += 1
    i += 1
    stack = [menu]          # menus receiving definitions
    opened = []             # per "(": whether it opened an inline menu
    last = None
    pending_splice = False
    while i < len(toks):
        kind, value, _ = toks[i]
        if kind == "ident":
            names, j = names_at(toks, i + 1)
            if names is not None:
                it = item(value)
                it.names = names
                stack[-1].children.append(value)
                last = it
                i = j
                continue
            if len(stack) == 1 and len(opened) == 0 and value in menus:
                if pending_splice:
                    stack[-1].children.append("@" + value)
                    splices[stack[-1].ident] = value
                else:
                    stack[-1].children.append(value)
                pending_splice = False
        elif kind == "splice":
            pending_splice = True
        elif kind == "(":
            # A parenthesis right after a definition holds either remarks or
            # that entry's own items (then the entry is a menu).
            inline = last is not None and i + 1 < len(toks) and toks[i + 1][0] == "ident" and \
                names_at(toks, i + 2)[0] is not None
            if inline:
                last.kind = "menu"
                stack.append(last)
            opened.append(inline)
        elif kind == ")":
            if opened and opened.pop():
                stack.pop()
        elif kind == "last-two-hidden":
            for ident in stack[-1].children[-2:]:
                item(ident).hidden = True
        i += 1


def names_at(toks, i):
    """Names after an identifier: "zh" [/ "en" | / blank]. ((zh, en), next index) or (None, i)."""
    if i >= len(toks) or toks[i][0] != "text":
        return None, i
    zh = toks[i][1]
    en = " "  # only a Chinese name: spoken as a blank in English, as its menu
    j = i + 1
    if j + 1 < len(toks) and toks[j][0] == "/" and toks[j + 1][0] in ("text", "blank"):
        en = toks[j + 1][1] if toks[j + 1][0] == "text" else " "
        j += 2
    return (zh, en), j


# ---------------------------------------------------------------- walking


class Walk:
    """The listener and the menu engine: keys in, spoken lines out."""

    def __init__(self, items, done, hidden, masks, board=None, values=True, enter=None):
        self.items = items
        # The submenus OK goes into: every one (None), or only those named
        self.enter_menus = enter
        # RIGHT through every value of every value item, or (False) only of
        # those whose allowed values a mask narrows
        self.values = values
        self.done = done
        self.hidden = hidden
        self.masks = masks
        self.pos = {k: 0 for k, it in items.items() if it.kind == "menu"}
        self.value = {k: it.default for k, it in items.items() if it.kind == "value"}
        self.value.update(board or {})
        self.lang = 0
        self.out = []

    def visible(self, ident):
        it = self.items[ident]
        if it.kind == "menu":
            return any(self.visible(c) for c in it.children)
        return ident not in self.hidden

    def allowed(self, ident):
        it = self.items[ident]
        mask = self.masks.get(ident)
        return [v for v in range(it.lo, it.hi + 1) if it.values is None or mask is None or mask >> (v - it.lo) & 1]

    def line(self, ident, v=None):
        it = self.items[ident]
        if it.kind != "value":
            return it.names[self.lang]
        v = self.value[ident] if v is None else v
        if it.language:
            return f"{it.names[v]}, {it.values[v - it.lo][0]}"
        if it.values is None:
            return f"{it.names[self.lang]}, {v}"
        return f"{it.names[self.lang]}, {it.values[v - it.lo][self.lang]}"

    def key(self, name, *said):
        self.out.append(f"key {name}")
        for s in said:
            self.out.append(f'expect next "{s}"')

    def visible_order(self, menu):
        children = self.items[menu].children
        n = len(children)
        cur = self.pos[menu]
        order = [(cur + k) % n for k in range(n)]
        return [i for i in order if self.visible(children[i])]

    def enter(self, menu):
        """Opening a menu moves its position forward to a visible child."""
        order = self.visible_order(menu)
        self.pos[menu] = order[0]
        return self.items[menu].children[order[0]]

    def walk(self, menu):
        """Visits every visible child once, starting where the menu stands;
        leaves the menu at the last child visited."""
        children = self.items[menu].children
        order = self.visible_order(menu)
        for n, idx in enumerate(order):
            child = children[idx]
            if n:
                self.pos[menu] = idx
                self.key("DOWN", self.line(child))
            it = self.items[child]
            if it.kind == "menu" and (self.enter_menus is None or child in self.enter_menus):
                first = self.enter(child)
                self.key("OK", self.line(first))
                self.walk(child)
                self.key("BACK", self.line(child))
            elif it.kind == "value" and (self.values or child in self.masks):
                values = self.allowed(child)
                start = values.index(self.value[child])
                for k in range(1, len(values) + 1):
                    self.key("RIGHT", self.line(child, values[(start + k) % len(values)]))

    def browser(self, line):
        """The bottom screen's line: one text, or one per language."""
        return line if isinstance(line, str) else line[self.lang]

    def system_menu(self, browser_line):
        first = self.enter("SystemMenu")
        self.key("MENU", self.line(first))
        self.walk("SystemMenu")
        # MENU switches to the file menu, which always opens at its first
        # entry, and back; BACK returns to the browser.
        self.pos["TwoMenu"] = 0
        self.key("MENU", self.line(self.enter("TwoMenu")))
        self.walk("TwoMenu")
        self.key("MENU", self.line(self.enter("SystemMenu")))
        self.key("BACK", self.browser(browser_line))

    def switch_language(self, browser_line):
        """Through the language item: MENU, OK into its menu, DOWN to it,
        RIGHT to the other language, OK, and BACK twice."""
        path = self.find("SystemMenu", "LanguageSetting")
        self.key("MENU", self.line(self.enter("SystemMenu")))
        for menu, target in zip(path, path[1:]):
            children = self.items[menu].children
            while children[self.pos[menu]] != target:
                order = self.visible_order(menu)
                self.pos[menu] = order[1]
                self.key("DOWN", self.line(children[self.pos[menu]]))
            if target != "LanguageSetting":
                self.key("OK", self.line(self.enter(target)))
        new = 1 - self.value["LanguageSetting"]
        self.key("RIGHT", self.line("LanguageSetting", new))
        self.value["LanguageSetting"] = new
        self.lang = new
        self.key("OK", self.done[self.lang], self.line("LanguageSetting"))
        for menu in reversed(path[:-2]):
            self.key("BACK", self.line(self.items[menu].children[self.pos[menu]]))
        self.key("BACK", self.browser(browser_line))

    def find(self, menu, target):
        for c in self.items[menu].children:
            if c == target:
                return [menu, c]
            if self.items[c].kind == "menu":
                sub = self.find(c, target)
                if sub:
                    return [menu] + sub
        return None


# ---------------------------------------------------------------- output

BROWSER_LINE = "book.txt"  # the bottom screen of the in-process replay
# The file browser of the stories starts on the device list, at the internal
# memory (the one file they give it lies inside).
DEVICE_LINE = ("本机磁盘", "Memory")


def story(title, setup, walk):
    head = ["# " + l if l else "#" for l in title] + ["# Generated by tools/menuwalk/menuwalk.py; do not edit.", ""]
    return "\n".join(head + setup + walk.out) + "\n"


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        items, done, board = read_tree(f.read())
    add_extras(items)
    repo = sys.argv[2] if len(sys.argv) == 3 else os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__))))

    # At start-up on the host board: the format items for the card and the
    # USB disk start hidden, no card is mounted so neither send-to item shows,
    # the recording folder offers the devices of its start-up mask, and the
    # v2.0 board has its own built-in record volume.
    startup_hidden = {k for k, it in items.items() if it.hidden} | {"SendToSd", "SendToEmmc"}
    startup_masks = {k: it.startup_mask for k, it in items.items() if it.startup_mask is not None}
    # The tables' card wording is that of a machine whose slot is an SD card
    # (mini type 4); the stories' default board has a TF slot.
    browser = [f'file /mnt/emmc/{BROWSER_LINE} "text"',
               'cmdline "console=ttyS0 hard_ver=q7_v2.0_4_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4 rootwait"']

    # The Chinese story's machine has the factory-test flag: the cancel-test
    # item shows.
    zh_hidden = startup_hidden - {"CancelTest"}
    zh = Walk(items, done, zh_hidden, startup_masks, board, values=False)
    zh.system_menu(DEVICE_LINE)
    # The English story goes into the submenus only where its start-up
    # differs from the Chinese story's (no factory-test flag): the rest of
    # the tree is the same there, and its English names are all_en.walk's.
    probe = Walk(items, done, set(), {})
    enter = {m for ident in startup_hidden ^ zh_hidden for m in probe.find("SystemMenu", ident)[1:-1]}
    en = Walk(items, done, startup_hidden, startup_masks, board, values=False, enter=enter)
    en.switch_language(DEVICE_LINE)
    en.system_menu(DEVICE_LINE)
    every_zh = Walk(items, done, set(), {})
    every_zh.system_menu(BROWSER_LINE)
    every_en = Walk(items, done, set(), {})
    every_en.switch_language(BROWSER_LINE)
    every_en.system_menu(BROWSER_LINE)

    outputs = {
        "tests/e2e/stories/menu_walk_zh.story": story(
            ["A walk of the whole system menu in Chinese on a machine in factory-test",
             "mode: every item with its start-up value, spoken exactly, line after line,",
             "and every value the start-up mask of the recording folder allows.",
             "Every value of every item is menu_walk_test's (all_zh.walk)."],
            ['file /home/new_machine ""'] + browser + ["start", 'expect say "正在测试。。。"',
                                                      f'expect say "{DEVICE_LINE[0]}"'], zh),
        "tests/e2e/stories/menu_walk_en.story": story(
            ["The language item switches the prompts to English; then a walk of the",
             "system menu in English as it starts without the factory-test flag: the",
             "cancel-test item does not show. The submenus are as in menu_walk_zh;",
             "every English name and value is menu_walk_test's (all_en.walk)."],
            browser + ["start", f'expect say "{DEVICE_LINE[0]}"'], en),
        "tests/unit/menu/walks/all_zh.walk": story(
            ["Every item shown and every value allowed, Chinese."], [], every_zh),
        "tests/unit/menu/walks/all_en.walk": story(
            ["Every item shown and every value allowed, after switching to English."], [], every_en),
    }
    for path, text in outputs.items():
        full = os.path.join(repo, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)
        print(f"{path}: {text.count(chr(10) + 'key ')} keys")
    return 0


if __name__ == "__main__":
    sys.exit(main())
