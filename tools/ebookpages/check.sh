#!/usr/bin/env bash
# Checks ebookpages on texts made here with iconv: each character set (with
# and without a byte-order mark) reads back as the UTF-8 it was made from,
# and a file of ASCII that turns to GBK after 600 KiB switches sets there;
# and on EPUB books, whose pages must hold their visible text.
#   check.sh EBOOKPAGES SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# About 40 KiB of mixed text: Chinese, punctuation, digits, English.
line='第一章，开始。他说：“今天是2024年11月13日，气温3.5度！” The quick brown fox, 3.14 and e.g. more. 书名《测试》'
for i in $(seq 1 300); do printf '%s %d\n' "$line" "$i"; done > "$dir/utf8.txt"

check() {  # FILE EXPECTED_UTF8
  "$tool" --verify "$1" > /dev/null
  cmp -s <("$tool" --raw "$1") "$2" || { echo "FAIL: $1 reads differently"; exit 1; }
  echo "ok $(basename "$1"): $("$tool" --info "$1" | tr '\n' ' ')"
}

check "$dir/utf8.txt" "$dir/utf8.txt"
iconv -f UTF-8 -t GBK "$dir/utf8.txt" > "$dir/gbk.txt" && check "$dir/gbk.txt" "$dir/utf8.txt"
iconv -f UTF-8 -t UTF-16LE "$dir/utf8.txt" > "$dir/le.txt" && check "$dir/le.txt" "$dir/utf8.txt"
iconv -f UTF-8 -t UTF-16BE "$dir/utf8.txt" > "$dir/be.txt" && check "$dir/be.txt" "$dir/utf8.txt"
{ printf '\xff\xfe'; cat "$dir/le.txt"; } > "$dir/le-bom.txt" && check "$dir/le-bom.txt" "$dir/utf8.txt"
{ printf '\xef\xbb\xbf'; cat "$dir/utf8.txt"; } > "$dir/bom.txt" && check "$dir/bom.txt" "$dir/utf8.txt"
# Big5 needs traditional characters.
sed 's/开始/開始/g; s/说/說/g; s/书名/書名/g; s/测试/測試/g; s/气温/氣溫/g; s/这/這/g' "$dir/utf8.txt" > "$dir/trad.txt"
iconv -f UTF-8 -t BIG5 "$dir/trad.txt" > "$dir/big5.txt" && check "$dir/big5.txt" "$dir/trad.txt"
# 600 KiB of ASCII, then GBK.
head -c 614400 < <(yes 'An English preface, long enough to pass the first detection window.') > "$dir/late.txt"
cat "$dir/gbk.txt" >> "$dir/late.txt"
{ head -c 614400 "$dir/late.txt"; cat "$dir/utf8.txt"; } > "$dir/late-utf8.txt"
check "$dir/late.txt" "$dir/late-utf8.txt"
# The sample text. It is Latin-1, which the device does not read as such (it
# takes it for GBK), so it is only checked to page consistently.
sample="$src/third_party/samples/txt/wasteland.txt"
if [ -f "$sample" ]; then
  "$tool" --verify "$sample" > /dev/null
  echo "ok $(basename "$sample"): $("$tool" --info "$sample" | tr '\n' ' ')"
fi
# EPUB books (the test books and the samples when they are there): the
# pages hold the visible text of the spine's documents in order, as
# Python's HTML parser sees it (visible.py), white space aside.
for book in "$src"/tests/data/ebook/epub/*.epub "$src"/third_party/samples/epub/*.epub; do
  [ -f "$book" ] || continue
  cmp -s <("$tool" --raw "$book" | tr -d ' \n\t\r\f') <(python3 "$src/tools/ebookpages/visible.py" "$book" | tr -d ' \n\t\r\f') ||
    { echo "FAIL: $book reads other than its visible text"; exit 1; }
  echo "ok $(basename "$book"): $("$tool" --info "$book" | grep -c '^chapter') chapters"
done
echo "ebookpages: all checks passed"
