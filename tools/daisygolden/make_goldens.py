#!/usr/bin/env python3
"""Writes the expected walk reports of the sample DAISY books.

The reports are computed here from the books' own files (NCC or OPF and NCX,
SMIL, XHTML or DTBook) with Python's XML parser, independently of the
player's C++ parsers and navigators; the unit test daisy_golden_test.cpp
compares the navigators' reports (tools/daisywalk/daisy_report.h, whose
format this script writes) with them.

    make_goldens.py SAMPLES_DIR OUT_DIR

What the navigator is expected to do, written from the DAISY books' point
of view:
  * the reading order is the document order of each SMIL file's text and
    audio elements, SMIL files in the order the NCC first names them
    (DAISY 2.02) or in spine order (DAISY 3);
  * a text element with audio in its par announces its text, then its audio
    plays; a text element without audio is spoken chunk by chunk (a chunk is
    a non-blank piece of character data of the content document, trimmed);
  * headings are the NCC's h1-h6 items or the NCX navigation points (level
    = nesting depth); pages are the page-front/normal/special spans or the
    NCX page list (spans of the NCC's other classes, like noteref, are not
    pages); a move lands on the first text or audio element at or after the
    target's SMIL element;
  * the time line: each SMIL file starts at its totalElapsedTime meta (else
    where the previous files end) and lasts its timeInThisSmil meta (DAISY
    2.02; else the sum of its clips); a jump lands in the last clip that
    starts at or before the target, that far into the clip.
"""

import html.entities
import os
import re
import sys
import xml.etree.ElementTree as ET

WS = ''.join(chr(c) for c in range(1, 11)) + '\r '
OPEN_END = 2147483647


def local(tag):
    return tag.rsplit('}', 1)[-1] if isinstance(tag, str) else ''


def attr(el, name):
    """Attribute by local name, ignoring case (ids may be written ID)."""
    for k, v in el.attrib.items():
        if local(k).lower() == name.lower() and not k.startswith('{http://www.w3.org/XML/1998/namespace}'):
            return v
    return None


def parse(path):
    parser = ET.XMLParser()
    # Hand-made books use HTML's named entities without declaring them.
    parser.entity.update({n: chr(c) for n, c in html.entities.name2codepoint.items()})
    with open(path, 'rb') as f:
        parser.feed(f.read())
    return parser.close()


def one_line(text):
    return ' '.join(t for t in re.split(r'[\x00-\x20]+', text or '') if t)


def clock_ms(value):
    """SMIL clock value to ms (fractions truncated to ms)."""
    v = value.strip()
    if v.startswith('npt='):
        v = v[4:]
    m = re.fullmatch(r'(?:(\d+):)?(\d+):(\d+)(?:\.(\d*))?', v)
    if m:
        h, mi, s = int(m.group(1) or 0), int(m.group(2)), int(m.group(3))
        frac = int((m.group(4) or '')[:3].ljust(3, '0'))
        return ((h * 60 + mi) * 60 + s) * 1000 + frac
    m = re.fullmatch(r'(\d*)(?:\.(\d*))?(h|min|s|ms)?', v)
    if not m or (not m.group(1) and m.group(2) is None):
        return 0
    n = int(m.group(1) or 0)
    ms = n * 1000 + int((m.group(2) or '')[:3].ljust(3, '0'))
    unit = m.group(3)
    return {'h': ms * 3600, 'min': ms * 60, 'ms': n}.get(unit, ms)


class Smil:
    """The seq/par/text/audio elements of one SMIL file in document order."""

    def __init__(self, path, daisy3):
        root = parse(path)
        self.elements = []
        self.total_elapsed = None
        self.time_in_this_smil = None
        for meta in root.iter():
            if local(meta.tag) != 'meta':
                continue
            name, content = meta.get('name'), meta.get('content')
            if name is None or content is None:
                continue
            if daisy3 and name == 'dtb:totalElapsedTime':
                self.total_elapsed = clock_ms(content)
            if not daisy3 and name in ('ncc:totalElapsedTime', 'total-elapsed-time'):
                self.total_elapsed = clock_ms(content)
            if not daisy3 and name in ('ncc:timeInThisSmil', 'time-in-this-smil'):
                self.time_in_this_smil = clock_ms(content)
        body = next(el for el in root.iter() if local(el.tag) == 'body')
        self._walk(body, None, daisy3)
        total, self.start_ms = 0, []
        for el in self.elements:
            self.start_ms.append(total)
            if el['kind'] == 'audio':
                total += max(0, el['end'] - el['begin'])
        self.audio_sum = total
        self.has_audio = any(el['kind'] == 'audio' for el in self.elements)
        if self.time_in_this_smil is None:
            self.time_in_this_smil = total

    def _walk(self, parent, container, daisy3):
        for child in parent:
            kind = local(child.tag).lower()
            if kind not in ('seq', 'par', 'text', 'audio'):
                self._walk(child, container, daisy3)
                continue
            el = {'kind': kind, 'id': child.get('id'), 'container': container}
            index = len(self.elements)
            self.elements.append(el)
            if kind == 'text':
                src = child.get('src') or ''
                el['file'], _, el['fragment'] = src.rpartition('#') if '#' in src else ('', '', '')
            if kind == 'audio':
                b = child.get('clipBegin' if daisy3 else 'clip-begin')
                e = child.get('clipEnd' if daisy3 else 'clip-end')
                el['begin'] = clock_ms(b) if b else 0
                el['end'] = clock_ms(e) if e else OPEN_END
                el['src'] = child.get('src')
            self._walk(child, index if kind in ('seq', 'par') else container, daisy3)
            el['last'] = len(self.elements)  # one past the last descendant

    def only_text(self, i):
        """A text element is spoken when its par (or seq) holds no audio."""
        c = self.elements[i]['container']
        if c is None:
            return True
        return not any(el['kind'] == 'audio' for el in self.elements[c + 1:self.elements[c]['last']])


class TextDoc:
    """The chunks of a content document and the chunk range of each id."""

    def __init__(self, path):
        self.chunks, self.ids = [], {}
        self._walk(parse(path), False)

    def _add(self, text, skip):
        t = (text or '').strip(WS)
        if t and not skip:
            self.chunks.append(t)

    def _walk(self, el, skip):
        skip = skip or local(el.tag).lower() in ('style', 'script')
        first = len(self.chunks)
        self._add(el.text, skip)
        for child in el:
            self._walk(child, skip)
            self._add(child.tail, skip)
        i = attr(el, 'id')
        if i is not None and i not in self.ids:
            self.ids[i] = (first, len(self.chunks))

    def text_of(self, fragment):
        first, end = self.ids.get(fragment, (0, 0))
        return self.chunks[first:end]


class Book:
    def __init__(self, folder, control):
        self.folder = folder
        self.daisy3 = control.lower().endswith('.opf')
        self.headings = []  # (level, smil name, fragment)
        self.pages = []     # (label, smil name, fragment)
        self.summary = {}
        if self.daisy3:
            self._read_opf(os.path.join(folder, control))
        else:
            self._read_ncc(os.path.join(folder, control))
        self.smils = [Smil(os.path.join(folder, n), self.daisy3) for n in self.smil_names]
        self.docs = {}
        for s in self.smils:
            for el in s.elements:
                if el['kind'] == 'text' and el['file'] and el['file'] not in self.docs:
                    p = os.path.join(folder, el['file'])
                    self.docs[el['file']] = TextDoc(p) if os.path.exists(p) else None
        # The book as one sequence of (SMIL, element).
        self.order = [(s, e) for s, smil in enumerate(self.smils) for e in range(len(smil.elements))]
        self.gindex = {pos: g for g, pos in enumerate(self.order)}
        self.timeline()

    # ---- control files -------------------------------------------------

    def _read_ncc(self, path):
        root = parse(path)
        head = next(el for el in root if local(el.tag) == 'head')
        body = next(el for el in root if local(el.tag) == 'body')
        metas = [(m.get('name'), m.get('content')) for m in head if local(m.tag) == 'meta']
        metas = [(n, one_line(c)) for n, c in metas if n is not None and c is not None]
        title = next((one_line(''.join(t.itertext())) for t in head if local(t.tag) == 'title'), None)

        def meta(name):
            for n, c in metas:
                if n == name:
                    return c
            for n, c in metas:
                if n.lower() == name.lower():
                    return c
            return None
        self.summary = {'title': meta('dc:title') or title, 'creator': meta('dc:creator'),
                        'publisher': meta('dc:publisher'), 'narrator': meta('ncc:narrator'),
                        'total_time': meta('ncc:totalTime'), 'date': meta('dc:date'),
                        'format': meta('dc:format') or meta('ncc:format')}
        self.smil_names = []
        for item in body:
            anchor = next((a for a in item.iter() if local(a.tag) == 'a' and a.get('href')), None)
            if anchor is None:
                continue
            name, cls = local(item.tag).lower(), (item.get('class') or '').lower()
            file, _, fragment = anchor.get('href').partition('#')
            if file not in self.smil_names:
                self.smil_names.append(file)
            label = one_line(''.join(anchor.itertext()))
            if re.fullmatch(r'h[1-6]', name):
                self.headings.append((int(name[1]), file, fragment))
            elif name == 'span' and cls in ('page-front', 'page-normal', 'page-special'):
                self.pages.append((label, file, fragment))

    def _read_opf(self, path):
        root = parse(path)
        folder = os.path.dirname(path)
        manifest = {i.get('id'): (i.get('href'), i.get('media-type'))
                    for i in root.iter() if local(i.tag) == 'item'}
        spine = [i.get('idref') for i in root.iter() if local(i.tag) == 'itemref']
        self.smil_names = [manifest[i][0] for i in spine if i in manifest]
        dc = {}
        for el in root.iter():
            if el.tag.startswith('{http://purl.org/dc/elements/1.1/}'):
                dc.setdefault(local(el.tag), ''.join(el.itertext()).strip(WS))
        x = {}
        for m in root.iter():
            if local(m.tag) == 'meta' and m.get('name') is not None:
                x.setdefault(m.get('name'), m.get('content'))
        self.summary = {'title': dc.get('Title'), 'creator': dc.get('Creator'),
                        'publisher': dc.get('Publisher'), 'narrator': x.get('dtb:narrator'),
                        'total_time': x.get('dtb:totalTime'), 'date': dc.get('Date'),
                        'format': dc.get('Format')}
        ncx = manifest.get('ncx') or next((v for v in manifest.values()
                                           if v[1] == 'application/x-dtbncx+xml'), None)
        if not ncx:
            return
        nav = parse(os.path.join(folder, ncx[0]))
        nav_map = next(el for el in nav if local(el.tag) == 'navMap')

        def points(el, level):
            for child in el:
                if local(child.tag) == 'navPoint':
                    content = next(c for c in child if local(c.tag) == 'content')
                    file, _, fragment = content.get('src').partition('#')
                    self.headings.append((level, file, fragment))
                    points(child, level + 1)
        points(nav_map, 1)
        page_list = next((el for el in nav if local(el.tag) == 'pageList'), None)
        if page_list is None:
            page_list = next((el for el in nav if local(el.tag) == 'navList' and
                              (el.get('class') or '').lower() in ('page', 'pages', 'pagenum')), None)
        for target in (page_list if page_list is not None else []):
            if local(target.tag) not in ('pageTarget', 'navTarget'):
                continue
            label = next((one_line(''.join(t.itertext())) for t in target.iter() if local(t.tag) == 'text'), '')
            content = next(c for c in target if local(c.tag) == 'content')
            file, _, fragment = content.get('src').partition('#')
            self.pages.append((label, file, fragment))

    # ---- positions -------------------------------------------------------

    def target(self, file, fragment):
        """Global index of a (SMIL file, fragment) target."""
        s = self.smil_names.index(file)
        ids = [el['id'] for el in self.smils[s].elements]
        e = ids.index(fragment) if fragment in ids else 0
        return self.gindex[(s, e)]

    def el(self, g):
        s, e = self.order[g]
        return self.smils[s].elements[e]

    def playable(self, g):
        el = self.el(g)
        return el['kind'] == 'text' or (el['kind'] == 'audio' and el['src'])

    def first_playable(self, g):
        while g < len(self.order) and not self.playable(g):
            g += 1
        return g if g < len(self.order) else None

    def chunks(self, g):
        el = self.el(g)
        doc = self.docs.get(el['file'])
        return doc.text_of(el['fragment']) if doc else []

    def line(self, g, clip_begin=None):
        """The report line of the item reached at g."""
        if g is None:
            return 'end'
        s, e = self.order[g]
        el = self.el(g)
        if el['kind'] == 'text':
            chunks = self.chunks(g)
            return f'{s} {e} text {one_line(chunks[0] if chunks else "")}'
        b = el['begin'] if clip_begin is None else clip_begin
        end = 'open' if el['end'] == OPEN_END else el['end']
        return f'{s} {e} audio {el["src"]} {b} {end}'

    def last_at_or_before(self, targets, g):
        """Index of the last of targets (global indices) at or before g, -1 for none."""
        i = -1
        for k, t in enumerate(targets):
            if t <= g:
                i = k
        return i

    # ---- time line -------------------------------------------------------

    def timeline(self):
        total = 0
        for s in self.smils:
            if s.total_elapsed is None:
                s.total_elapsed = total
            if s.time_in_this_smil > 0:
                total += s.time_in_this_smil
        self.total_ms = total

    def now(self, g, offset):
        if g is None:
            return self.total_ms
        s, e = self.order[g]
        smil = self.smils[s]
        t = smil.total_elapsed
        if smil.time_in_this_smil > 0 and smil.has_audio and e >= 1:
            t += smil.start_ms[e]
        return t + (offset if self.el(g)['kind'] == 'audio' else 0)

    def jump(self, target, delta):
        """(landing, clip begin, offset, into) of a jump to target ms."""
        if target < 0:
            return 'begin', None, 0, 0
        if target >= self.total_ms:
            return None, None, 0, 0
        ks = [k for k, s in enumerate(self.smils) if s.elements and s.time_in_this_smil > 0 and
              s.has_audio and s.total_elapsed <= target]
        if not ks:
            return 'begin', None, 0, 0
        k = ks[-1]
        smil = self.smils[k]
        offset = target - smil.total_elapsed
        audios = [e for e, el in enumerate(smil.elements) if el['kind'] == 'audio' and el['src'] and
                  smil.start_ms[e] <= offset]
        if not audios:
            return self.first_playable(self.gindex[(k, 0)]), None, 0, 0
        chosen = audios[-1]
        el = smil.elements[chosen]
        into = offset - smil.start_ms[chosen]
        later = any(x['kind'] == 'audio' and x['src'] for x in smil.elements[chosen + 1:])
        if delta > 0 and el['end'] != OPEN_END and into >= el['end'] - el['begin'] and not later:
            nxt = self.gindex.get((k + 1, 0))
            if nxt is None:  # the next files may be empty
                nxt = next((g for g, (s, e) in enumerate(self.order) if s > k), None)
            return (self.first_playable(nxt) if nxt is not None else None), None, 0, 0
        begin = el['begin'] + into
        if el['end'] != OPEN_END and begin >= el['end'] - 199:
            begin = max(el['end'] - 200, 0)
        return self.gindex[(k, chosen)], begin, max(0, begin - el['begin']), into

    # ---- the report ------------------------------------------------------

    def report(self, step):
        out = []
        heads = [self.target(f, fr) for _, f, fr in self.headings]
        levels = [lv for lv, _, _ in self.headings]
        pages = [self.target(f, fr) for _, f, fr in self.pages]
        n = len(self.order)
        start = self.first_playable(0) if n else None

        out.append('# counts')
        out += [f'total_ms {self.total_ms}', f'smil {len(self.smils)}', f'headings {len(heads)}',
                f'levels {max(levels, default=0)}', f'pages {len(pages)}']
        out += [f'page {one_line(label)}' for label, _, _ in self.pages]
        out.append('# summary')
        for key in ('title', 'creator', 'publisher', 'narrator', 'total_time', 'date', 'format'):
            if self.summary.get(key) is not None:
                out.append(f'{key}: {one_line(self.summary[key])}')

        out.append('# walk')
        for g in range(n):
            if not self.playable(g):
                continue
            out.append(self.line(g))
            s, e = self.order[g]
            if self.el(g)['kind'] == 'text' and self.smils[s].only_text(e):
                out += [f'{s} {e} speak {one_line(c)}' for c in self.chunks(g)]
        out.append('end')

        out += ['# phrase-back', 'end']
        for g in reversed(range(n)):
            s, e = self.order[g]
            if self.playable(g) and (self.el(g)['kind'] == 'audio' or self.smils[s].only_text(e)):
                out.append(self.line(g))
        out.append('begin')

        pars = [g for g in range(n) if self.el(g)['kind'] == 'par']
        out += ['# par', self.line(start)]
        g = start
        while g is not None:
            nxt = [p for p in pars if p > g]
            g = self.first_playable(nxt[0]) if nxt else None
            out.append(self.line(g))
        out += ['# par-back', 'end']
        g = self.first_playable(pars[-1]) if pars else None
        while g is not None:
            out.append(self.line(g))
            cur = [p for p in pars if p <= g - 1]
            before = [p for p in pars if cur and p <= cur[-1] - 1]
            g = self.first_playable(before[-1]) if before else None
        out.append('begin')

        for level in range(1, max(levels, default=0) + 1):
            out += [f'# heading {level}', self.line(start)]
            g = start
            while g is not None:
                h = self.last_at_or_before(heads, g)
                nxt = [i for i in range(h + 1, len(heads)) if levels[i] <= level]
                g = self.first_playable(heads[nxt[0]]) if nxt else None
                out.append(self.line(g))
            out += [f'# heading-back {level}', 'end']
            prev = [i for i in range(len(heads)) if levels[i] <= level]
            g = self.first_playable(heads[prev[-1]]) if prev else None
            while g is not None:
                out.append(self.line(g))
                h = self.last_at_or_before(heads, g)
                if not self.daisy3:  # DAISY 2.02 first steps back to the heading that opens the section
                    while h >= 0 and levels[h] > level:
                        h -= 1
                t = [i for i in range(h) if levels[i] <= level]
                g = self.first_playable(heads[t[-1]]) if t else None
            out.append('begin')

        out.append('# goto')
        for i, h in enumerate(heads):
            out.append(f'{i + 1} {self.line(self.first_playable(h))}')

        out += ['# pages', self.line(start)]
        g = start
        while g is not None:
            p = self.last_at_or_before(pages, g)
            g = self.first_playable(pages[p + 1]) if p + 1 < len(pages) else None
            out.append(self.line(g))
        out += ['# page-back', 'end']
        g = self.first_playable(pages[-1]) if pages else None
        while g is not None:
            out.append(self.line(g))
            p = self.last_at_or_before(pages, g)
            g = self.first_playable(pages[p - 1]) if p >= 1 else None
        out.append('begin')

        def landing(result):
            g, begin = result[0], result[1]
            return 'begin' if g == 'begin' else self.line(g, begin)

        out.append('# time')
        now0 = self.now(start, 0)
        for t in range(0, self.total_ms, step):
            r = self.jump(now0 + t, t)
            out.append(f'{t} {landing(r)} into {r[3] if r[0] not in ("begin", None) else 0}')
        for sign in (1, -1):
            out.append(f'# time-chain {"+" if sign > 0 else "-"}{step}')
            g, offset = (start, 0) if sign > 0 else (None, 0)
            out.append(self.line(g))
            while True:
                g, begin, offset, _ = self.jump(self.now(g, offset) + sign * step, sign * step)
                out.append(landing((g, begin)))
                if g in ('begin', None):
                    break
        return '\n'.join(out) + '\n'


BOOKS = [
    ('daisy202-dontworrybehappy', 'daisy202/dontworrybehappy', 'ncc.html'),
    ('daisy202-dontworrybehappy-invalid', 'daisy202/dontworrybehappy-invalid', 'ncc.html'),
    ('daisy202-mental_health', 'daisy202/mental_health', 'ncc.html'),
    ('daisy3-mental_health', 'daisy3/mental_health', 'speechgen.opf'),
    ('daisy3-speechgen', 'daisy3/speechgen', '06-speechgen.opf'),
]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    samples, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name, folder, control in BOOKS:
        book = Book(os.path.join(samples, folder), control)
        with open(os.path.join(out, name + '.txt'), 'w', encoding='utf-8') as f:
            f.write(book.report(30000))
        print(f'{name}: {len(book.smils)} SMIL files, {len(book.headings)} headings, '
              f'{len(book.pages)} pages, {book.total_ms} ms')


if __name__ == '__main__':
    main()
