#!/usr/bin/env python3
"""Prints the visible text of an EPUB's content documents in spine order,
as a browser would show it, with Python's own HTML parser: the oracle the
reader's EPUB text is checked against (check.sh). White space is left to
the caller to ignore.

  visible.py BOOK.epub
"""
import posixpath
import sys
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile
from html.parser import HTMLParser

HIDDEN = {'title', 'script', 'style', 'template', 'noscript'}


class Visible(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.hidden = 0
        self.out = []

    def handle_starttag(self, tag, attrs):
        if tag.split(':')[-1] in HIDDEN:
            self.hidden += 1

    def handle_startendtag(self, tag, attrs):
        pass

    def handle_endtag(self, tag):
        if tag.split(':')[-1] in HIDDEN and self.hidden:
            self.hidden -= 1

    def handle_data(self, data):
        if not self.hidden:
            self.out.append(data.replace('\xa0', ' ').replace('\xad', ''))


def main():
    z = zipfile.ZipFile(sys.argv[1])
    container = ET.fromstring(z.read('META-INF/container.xml'))
    opf_path = next(e.get('full-path') for e in container.iter() if e.tag.endswith('rootfile'))
    opf = ET.fromstring(z.read(opf_path))
    items = {e.get('id'): e.get('href') for e in opf.iter() if e.tag.endswith('}item')}
    folder = posixpath.dirname(opf_path)
    for ref in (e for e in opf.iter() if e.tag.endswith('itemref')):
        name = posixpath.normpath(posixpath.join(folder, urllib.parse.unquote(items[ref.get('idref')])))
        page = Visible()
        page.feed(z.read(name).decode('utf-8'))
        sys.stdout.write(''.join(page.out) + '\n')


main()
