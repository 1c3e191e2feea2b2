#!/bin/sh
# The host board's stand-in for the device's /home/pdfinfo and /home/pdftotext.
# Installed under both names (scripts/install-home), it runs this machine's
# poppler tool of its own name. Poppler has no "-cfg FILE" option, so that
# pair is dropped; the output encoding the device's configuration file sets
# is given as -enc UTF-8 instead. PDFTOOL=pdfinfo|pdftotext overrides the name.
case "${PDFTOOL:-${0##*/}}" in
  pdfinfo*) tool=pdfinfo ;;
  *) tool=pdftotext ;;
esac
n=$#
i=0
while [ "$i" -lt "$n" ]; do
  a=$1
  shift
  i=$((i + 1))
  if [ "$a" = "-cfg" ] && [ "$i" -lt "$n" ]; then
    shift
    i=$((i + 1))
    continue
  fi
  set -- "$@" "$a"
done
exec "/usr/bin/$tool" -enc UTF-8 "$@"
