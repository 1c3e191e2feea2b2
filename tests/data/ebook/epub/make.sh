#!/usr/bin/env bash
# Makes the EPUB test books from the texts of ../html (en.md, zh.md): EPUB 3
# and EPUB 2 as pandoc writes them, one content document per chapter.
# Needs pandoc; the books are committed, so tests do not.
set -euo pipefail
cd "$(dirname "$0")"
for l in en zh; do
  title=$(head -1 ../html/$l.md | sed 's/^# //')
  for v in 3 2; do
    pandoc -f markdown-smart -t epub$v --epub-chapter-level=2 --metadata title="$title" \
      --metadata author="Writer $l" --metadata date=2026-01-01 -o pandoc${v}_$l.epub ../html/$l.md
  done
done
