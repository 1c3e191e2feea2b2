#!/usr/bin/env bash
# Makes the HTML and MHT test pages from the two texts en.md and zh.md:
# pages saved by pandoc and by LibreOffice (through a .docx it opens), the
# Chinese page also in GBK and written in character references only, and
# MHT archives as a browser saves them (mkmht.py). Needs pandoc and
# libreoffice-writer; the pages are committed, so tests need neither.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for l in en zh; do
  # The style sheet pandoc puts into every page is the same in each and
  # shows nothing; it is left out (the unit tests have style elements).
  pandoc -f markdown-smart -s --metadata pagetitle="Title $l" $l.md | sed '/<style>/,/<\/style>/d' > pandoc_$l.html
  pandoc -f markdown-smart -o "$tmp/$l.docx" $l.md
  soffice --headless -env:UserInstallation=file://$tmp/profile --convert-to html --outdir "$tmp" "$tmp/$l.docx" >/dev/null
  mv "$tmp/$l.html" libreoffice_$l.html
  python3 mkmht.py pandoc_$l.html browser_$l.mht
done
# GBK: the same page re-encoded, naming its charset.
sed 's/charset="*utf-8"*/charset=gbk/I' pandoc_zh.html | iconv -f utf-8 -t gbk > pandoc_zh_gbk.html
# Every character of the text as a hexadecimal reference.
python3 - <<'PY'
import html, re
page = open('pandoc_zh.html', encoding='utf-8').read()
def refs(m):
    return ''.join('&#x%X;' % ord(c) for c in html.unescape(m.group(0)))
head, body = page.split('<body', 1)
body = re.sub(r'(?<=>)[^<]+(?=<)', refs, '<body' + body)
open('refs_zh.htm', 'w', encoding='ascii').write(head + body.encode('ascii', 'xmlcharrefreplace').decode())
PY
python3 mkmht.py pandoc_zh.html browser_zh_gbk.mht --charset gb2312
python3 mkmht.py pandoc_zh.html browser_zh_b64.mht --charset gbk --no-charset --encoding base64
