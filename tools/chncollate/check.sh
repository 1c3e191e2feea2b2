#!/bin/sh
# Remakes the collation weights and checks them: the file in data/ must be
# exactly what the tool makes from this machine's ICU, and the weights must
# order the common Chinese characters as the GB2312 code order and the C
# library's zh_CN collation do (the locale is compiled into a temporary
# folder, nothing is installed).
#   check.sh TOOL SOURCE_DIR
set -eu
tool=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$tool" --out "$tmp/ChnCharIndexs.bin"
cmp "$tmp/ChnCharIndexs.bin" "$src/data/ChnCharIndexs.bin"
localedef -i zh_CN -f UTF-8 "$tmp/zh_CN.UTF-8" 2>/dev/null || true
# The C library keeps a few bytes of the locale it loaded for good.
ASAN_OPTIONS=detect_leaks=0 LOCPATH=$tmp "$tool" --check "$src/data/ChnCharIndexs.bin"
