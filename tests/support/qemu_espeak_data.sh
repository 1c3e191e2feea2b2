#!/bin/sh
# Puts a copy of the board sysroot's espeak-ng data on a tmpfs, for test
# programs of the board build that run under qemu-user:
#   qemu_espeak_data.sh SYSROOT DEST
# qemu-user does not redirect stat() into the sysroot, and espeak-ng (built
# without large-file support) cannot list its voices in a folder of the
# host's ext4: readdir fails with EOVERFLOW, so the engine starts but finds
# no voice and the player is silent. DEST then holds espeak-ng-data/; a
# copy already there is kept (several worktrees share it).
set -eu
sysroot=$1
dest=$2
[ -f "$dest/espeak-ng-data/phontab" ] && exit 0
mkdir -p "$(dirname "$dest")"
tmp=$(mktemp -d "$dest.XXXXXX")
cp -a "$sysroot/usr/lib/mipsel-linux-gnu/espeak-ng-data" "$tmp/"
# Another run may have won the race; its copy is as good as ours.
mv -T "$tmp" "$dest" 2>/dev/null || rm -rf "$tmp"
[ -f "$dest/espeak-ng-data/phontab" ]
