#!/usr/bin/env bash
# Checks daisywalk on a small DAISY 2.02 book written here (one text-only
# paragraph, one with audio), its answer to a book that does not open, and,
# when the samples are beside the tree, its reports of the sample books
# against the golden files of tests/data/daisy.
#   check.sh DAISYWALK SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

cat > "$dir/ncc.html" <<'NCC'
<?xml version="1.0" encoding="utf-8"?>
<html><head><title>Check</title></head><body>
<h1><a href="s.smil#p1">One</a></h1><span class="page-normal"><a href="s.smil#p2">7</a></span>
</body></html>
NCC
cat > "$dir/s.smil" <<'SMIL'
<smil><body><seq>
<par id="p1"><text src="c.html#a"/></par>
<par id="p2"><text src="c.html#b"/><audio src="a.mp3" clip-begin="npt=0s" clip-end="npt=1.5s"/></par>
</seq></body></smil>
SMIL
cat > "$dir/c.html" <<'HTML'
<html><body><p id="a">First <b>part</b></p><p id="b">Second</p></body></html>
HTML
expected='0 2 text First
0 2 speak First
0 2 speak part
0 4 text Second
0 5 audio a.mp3 0 1500
end'
got=$("$tool" --walk "$dir/ncc.html")
[ "$got" = "$expected" ] || { echo "FAIL: walk"; diff <(echo "$expected") <(echo "$got"); exit 1; }
"$tool" "$dir/ncc.html" | grep -qx 'page 7' || { echo "FAIL: page label"; exit 1; }
echo "ok walk and report of a book made here"

if "$tool" "$dir/missing/ncc.html" > "$dir/out"; then echo "FAIL: a missing book opened"; exit 1; fi
grep -qx 'open failed: -4' "$dir/out" || { echo "FAIL: $(cat "$dir/out")"; exit 1; }
echo "ok a missing book: $(cat "$dir/out")"

samples=${TB_SAMPLES_DIR:-$src/third_party/samples}
if [ -d "$samples" ]; then
  while read -r name control; do
    "$tool" "$samples/$control" > "$dir/$name.txt"
    cmp -s "$dir/$name.txt" "$src/tests/data/daisy/$name.txt" || {
      echo "FAIL: $name differs from its golden file"
      diff "$src/tests/data/daisy/$name.txt" "$dir/$name.txt" | head -20
      exit 1
    }
    echo "ok $name"
  done <<'BOOKS'
daisy202-dontworrybehappy daisy202/dontworrybehappy/ncc.html
daisy202-dontworrybehappy-invalid daisy202/dontworrybehappy-invalid/ncc.html
daisy202-mental_health daisy202/mental_health/ncc.html
daisy3-mental_health daisy3/mental_health/speechgen.opf
daisy3-speechgen daisy3/speechgen/06-speechgen.opf
BOOKS
fi
echo "daisywalk: all checks passed"
