#!/usr/bin/env bash
# Builds the fuzz targets (the DAISY readers, the Word readers, the audio
# decoder, the e-book formats HTML, MHT and EPUB, and the small parsers of
# text and of the player's own files) with clang (preset
# "fuzz", build/fuzz) and
# runs each for a while, starting from the sample books' files. Exits
# non-zero when a target finds a crash (its input is kept in build/fuzz/).
#   tests/fuzz/run.sh [SECONDS_PER_TARGET]   (default 20)
# TB_SAMPLES_DIR names other sample books than third_party/samples.
set -euo pipefail
cd "$(dirname "$0")/../.."
secs=${1:-20}
samples=${TB_SAMPLES_DIR:-$PWD/third_party/samples}
targets=(fuzz_daisy_ncc fuzz_daisy_smil fuzz_daisy_xhtml fuzz_daisy_ncx fuzz_daisy_opf fuzz_daisy_book fuzz_ffaudio
  fuzz_word_doc fuzz_word_docx fuzz_ebook_html fuzz_ebook_mht fuzz_ebook_epub fuzz_text fuzz_store)
# TB_FUZZ_TARGETS="fuzz_ebook_html ..." runs only those.
[ -n "${TB_FUZZ_TARGETS:-}" ] && read -r -a targets <<<"$TB_FUZZ_TARGETS"

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
    fuzz_word_doc) find tests/data/word -name '*.doc' ;;
    fuzz_word_docx) { find tests/data/word -name '*.docx'; [ -d "$samples" ] && find "$samples" -name '*.docx'; } || true ;;
    fuzz_ebook_html) find tests/data/ebook/html -name '*.htm*' ;;
    fuzz_ebook_mht) find tests/data/ebook/html -name '*.mht' ;;
    fuzz_ebook_epub) find "$samples" tests/data/ebook -name '*.epub' 2>/dev/null || true ;;
    fuzz_text | fuzz_store) find "tests/fuzz/seeds_${1#fuzz_}" -type f ;;
  esac
}

dict() {  # TARGET -> its dictionary option
  case $1 in
    fuzz_daisy_*) echo -dict=../../tests/fuzz/daisy.dict ;;
    fuzz_ebook_*) echo -dict=../../tests/fuzz/ebook.dict ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  mkdir -p "$corpus"
  if [ -d "$samples" ] || [ "${t#fuzz_daisy}" = "$t" ]; then
    seeds "$t" | while read -r f; do cp -f "$f" "$corpus/$(echo "$f" | md5sum | cut -c1-12)"; done
  fi
  echo "== $t ($secs s)"
  if ! (cd build/fuzz && "tests/fuzz/$t" -max_total_time="$secs" -rss_limit_mb=2048 -max_len=65536 \
        $(dict "$t") -print_final_stats=1 "corpus/$t" 2>"$t.log"); then
    echo "FAIL: $t found a crash; see build/fuzz/$t.log"
    tail -40 "build/fuzz/$t.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "build/fuzz/$t.log" | tail -2
  fi
done
exit $status
