#!/usr/bin/env bash
# Makes the Word fixtures of the e-book tests from one text per language:
# pandoc writes a .docx, LibreOffice (soffice) writes a .docx and a .doc of
# the same document.
#   tests/data/word/make.sh      (needs pandoc and libreoffice-writer)
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/en.md" <<'MD'
# A Walk by the River

The river was high that morning, and the path was wet.
We walked for 3.14 miles before the rain began.[^1]

“Look,” she said — pointing at the café — “it’s open.”\
The sign read: coffee €2.50, tea €1.80.

See the [river guide](http://example.com/river) for more.

| Place | Miles |
|-------|-------|
| Bridge | 1 |
| Mill | 2 |

[^1]: A footnote the reader leaves out.

MD
for i in $(seq 1 12); do
  echo "Paragraph $i. The water ran under the old stone bridge, past the mill and the fields; nobody could say where it would stop, and nobody asked. Birds sat on the wires, and the wind turned cold." >>"$tmp/en.md"
  echo >>"$tmp/en.md"
done

cat >"$tmp/zh.md" <<'MD'
# 河边散步

那天早上河水很高，小路很湿。我们走了三公里，才开始下雨。

“看，”她说，“咖啡馆开门了。”\
招牌上写着：咖啡两元五角，茶一元八角。

请看[河流指南](http://example.com/river)。

MD
for i in $(seq 1 12); do
  echo "第${i}段。河水从古老的石桥下流过，经过磨坊和田野；没有人知道它会在哪里停下，也没有人问。鸟儿停在电线上，风变冷了。" >>"$tmp/zh.md"
  echo >>"$tmp/zh.md"
done

for lang in en zh; do
  pandoc -f markdown -t docx -o "$lang-pandoc.docx" "$tmp/$lang.md"
  cp "$lang-pandoc.docx" "$tmp/$lang-lo.docx"
  (cd "$tmp" && soffice --headless --convert-to doc:"MS Word 97" --outdir out "$lang-lo.docx" >/dev/null &&
     soffice --headless --convert-to docx:"MS Word 2007 XML" --outdir out "$lang-lo.docx" >/dev/null)
  cp "$tmp/out/$lang-lo.doc" "$lang-libreoffice.doc"
  cp "$tmp/out/$lang-lo.docx" "$lang-libreoffice.docx"
done

# An encrypted .doc as far as the reader looks: the FIB's fEncrypted flag
# (0x0100 of the word at offset 10) set in a copy of the English one; the
# reader refuses it before it reads any text.
python3 - <<'PY'
import struct
d = bytearray(open("en-libreoffice.doc", "rb").read())
for off in range(512, len(d), 512):
    if d[off:off + 2] == b"\xec\xa5":
        flags, = struct.unpack_from("<H", d, off + 10)
        struct.pack_into("<H", d, off + 10, flags | 0x0100)
        break
else:
    raise SystemExit("no FIB in en-libreoffice.doc")
open("locked.doc", "wb").write(d)
PY
