#!/usr/bin/env bash
# Makes the alarm's ring tones from synthesised sound (ffmpeg's aevalsrc
# source, LAME for MP3): the default ring and the seven tones an alarm can
# choose, each a few seconds of mono MP3 that the alarm repeats while it
# rings. The results are committed under data/ and installed into /home by
# scripts/install-home.
#   tools/ringtones/make_ringtones.sh [OUTDIR]   (default: data/)
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")/../.." && pwd)/data}
mkdir -p "$out"

# name  expression of t (seconds), -1..1
tones=(
  "default_ringl.mp3|0.6*sin(2*PI*880*t)*lt(mod(t,1),0.15)+0.6*sin(2*PI*880*t)*between(mod(t,1),0.3,0.45)"
  "ring1.mp3|0.6*sin(2*PI*1000*t)*lt(mod(t,0.5),0.25)"
  "ring2.mp3|0.5*(sin(2*PI*660*t)+sin(2*PI*990*t))*lt(mod(t,0.8),0.4)"
  "ring3.mp3|0.6*sin(2*PI*(600+400*mod(t,1))*t)"
  "ring4.mp3|0.6*sin(2*PI*(if(lt(mod(t,0.6),0.3),784,1047))*t)"
  "ring5.mp3|0.6*sin(2*PI*523*t)*exp(-4*mod(t,0.5))"
  "ring6.mp3|0.4*(sin(2*PI*440*t)+sin(2*PI*554*t)+sin(2*PI*659*t))*lt(mod(t,1.2),0.6)"
  "ring7.mp3|0.6*sin(2*PI*1200*t)*lt(mod(t,0.2),0.1)*lt(mod(t,1.5),0.8)"
)
for entry in "${tones[@]}"; do
  name=${entry%%|*}
  expr=${entry#*|}
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "aevalsrc='$expr':s=22050:d=4" \
    -ac 1 -c:a libmp3lame -b:a 32k "$out/$name"
done
ls -l "$out"/default_ringl.mp3 "$out"/ring?.mp3
