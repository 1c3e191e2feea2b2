#!/usr/bin/env python3
"""Saves an HTML page as an MHT web archive the way browsers do.

  mkmht.py PAGE.html OUT.mht [--charset NAME] [--encoding qp|base64] [--no-charset]

The archive is a multipart/related MIME message: the page first, its
transfer encoding quoted-printable (Chromium-style, whose page part names no
charset) or base64, then a style sheet and a small PNG image as the
browser's further resources. --charset re-encodes the page and names the
charset in the part's header (as the older browsers did) unless
--no-charset is given too.
"""
import base64
import re
import quopri
import sys
import zlib
import struct

def png():
    def chunk(kind, data):
        c = struct.pack('>I', len(data)) + kind + data
        return c + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    raw = b'\x00\xff\x00\x00'  # one red pixel
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))

def main():
    args = sys.argv[1:]
    page, out = args[0], args[1]
    charset = args[args.index('--charset') + 1] if '--charset' in args else None
    encoding = args[args.index('--encoding') + 1] if '--encoding' in args else 'qp'
    named = charset and '--no-charset' not in args
    html = open(page, encoding='utf-8').read()
    if charset:  # the page names what it is written in
        html = re.sub(r'charset="?utf-8"?', 'charset=' + charset, html, flags=re.I)
    body = html.encode(charset) if charset else html.encode('utf-8')
    boundary = '----MultipartBoundary--x7Qm2c9VqLr3wE8tZyA1----'
    crlf = '\r\n'
    head = [
        'From: <Saved by a browser>',
        'Snapshot-Content-Location: file:///tmp/page.html',
        'Subject: page',
        'Date: Sat, 5 Dec 2026 10:00:00 -0000',
        'MIME-Version: 1.0',
        'Content-Type: multipart/related;',
        '\ttype="text/html";',
        '\tboundary="%s"' % boundary,
        '', '',
    ]
    parts = []
    ctype = 'text/html' + ('; charset="%s"' % charset if named else '')
    if encoding == 'qp':
        data = quopri.encodestring(body).replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        cte = 'quoted-printable'
    else:
        data = base64.encodebytes(body).replace(b'\n', b'\r\n')
        cte = 'base64'
    parts.append(('Content-Type: %s' % ctype + crlf + 'Content-ID: <frame-1@mhtml.blink>' + crlf +
                  'Content-Transfer-Encoding: %s' % cte + crlf + 'Content-Location: file:///tmp/page.html' +
                  crlf + crlf).encode('ascii') + data)
    css = b'body { font-family: serif; }\r\np::before { content: "not shown"; }\r\n'
    parts.append(('Content-Type: text/css' + crlf + 'Content-Transfer-Encoding: quoted-printable' + crlf +
                  'Content-Location: file:///tmp/style.css' + crlf + crlf).encode('ascii') + quopri.encodestring(css))
    parts.append(('Content-Type: image/png' + crlf + 'Content-Transfer-Encoding: base64' + crlf +
                  'Content-Location: file:///tmp/dot.png' + crlf + crlf).encode('ascii') +
                 base64.encodebytes(png()).replace(b'\n', b'\r\n'))
    with open(out, 'wb') as f:
        f.write(crlf.join(head).encode('ascii'))
        for p in parts:
            f.write(('--%s' % boundary + crlf).encode('ascii') + p + crlf.encode('ascii'))
        f.write(('--%s--' % boundary + crlf).encode('ascii'))

main()
