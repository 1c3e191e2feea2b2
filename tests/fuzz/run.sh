#!/usr/bin/env bash
# Builds the fuzz targets (the DAISY readers and the audio decoder) with clang (preset "fuzz", build/fuzz) and
# runs each for a while, starting from the sample books' files. Exits
# non-zero when a target finds a crash (its input is kept in build/fuzz/).
#   tests/fuzz/run.sh [SECONDS_PER_TARGET]   (default 20)
# TB_SAMPLES_DIR names other sample books than data/samples.
set -euo pipefail
cd "$(dirname "$0")/../.."
secs=${1:-20}
samples=${TB_SAMPLES_DIR:-$PWD/data/samples}
targets=(fuzz_daisy_ncc fuzz_daisy_smil fuzz_daisy_xhtml fuzz_daisy_ncx fuzz_daisy_opf fuzz_daisy_book fuzz_ffaudio)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target "${targets[@]}"

seeds() {  # TARGET -> the sample files it starts from
  case $1 in
    fuzz_daisy_ncc) find "$samples" -name 'ncc.html' ;;
    fuzz_daisy_smil | fuzz_daisy_book) find "$samples" -name '*.smil' ;;
    fuzz_daisy_xhtml) find "$samples" \( -name 'content.html' -o -name '*dtbook*.xml' \) ;;
    fuzz_daisy_ncx) find "$samples" -name '*.ncx' ;;
    fuzz_daisy_opf) find "$samples" -name '*.opf' ;;
    fuzz_ffaudio) find tests/data/audio -type f ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  mkdir -p "$corpus"
  if [ -d "$samples" ] || [ "$t" = fuzz_ffaudio ]; then
    seeds "$t" | while read -r f; do cp -f "$f" "$corpus/$(echo "$f" | md5sum | cut -c1-12)"; done
  fi
  echo "== $t ($secs s)"
  if ! (cd build/fuzz && "tests/fuzz/$t" -max_total_time="$secs" -rss_limit_mb=2048 -max_len=65536 \
        $( [ "$t" != fuzz_ffaudio ] && echo -dict=../../tests/fuzz/daisy.dict ) -print_final_stats=1 "corpus/$t" 2>"$t.log"); then
    echo "FAIL: $t found a crash; see build/fuzz/$t.log"
    tail -40 "build/fuzz/$t.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "build/fuzz/$t.log" | tail -2
  fi
done
exit $status
