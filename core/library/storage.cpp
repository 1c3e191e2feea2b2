// The storage devices: mount points, sizes and formatting, through the
// board's file system and shell.
#include "core/library/storage.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <cstring>
#include <string>
#include <strings.h>
#include <sys/statfs.h>

namespace {

constexpr char kLogSource[] = "core/filebrowser.c";

}  // namespace

const char *MountPointOf(int type) {
  switch (type) {
    case 0: return "/mnt/emmc";
    case 1: return "/mnt/sdcard";
    case 2: return "/mnt/usb";
    default: return nullptr;
  }
}

int PathIsUnder(const char *path, const char *prefix) {
  if (!path || !prefix) return 0;
  size_t n = std::strlen(prefix);
  return std::strncmp(path, prefix, n) == 0 && (path[n] == '\0' || path[n] == '/');
}

int IsDaisyDir(const char *path) {
  if (!path) return 0;
  return strncasecmp(path, "/mnt/emmc/daisy", 15) == 0 || strncasecmp(path, "/mnt/sdcard/daisy", 17) == 0;
}

int IsMountDir(const char *path) {
  int r = BoardIsMountPoint(path);
  if (r < 0) LOGW("stat %s error\n", path ? path : "(null)");
  return r;
}

int GetMoutPointTypeFpath(const char *path) {
  if (!path) return -1;
  std::string p = path;
  for (int t = 0; t < 3; t++)
    if (PathIsUnder(p.c_str(), MountPointOf(t))) return t;
  return -1;
}

int GetMoutPointType(const char *name) {
  if (!name || !*name) return -1;
  switch (name[std::strlen(name) - 1]) {
    case 'c': return 0;
    case 'd': return 1;
    case 'b': return 2;
    default: return -1;
  }
}

int GetMountDeviceSize(int type, unsigned int *total_blocks, unsigned int *free_blocks) {
  const char *mp = MountPointOf(type);
  if (!mp || IsMountDir(mp) != 1) return -1;
  struct statfs fs;
  if (statfs(BoardPath(mp).c_str(), &fs) != 0) {
    LOGW("statfs %s return error!\n", mp);
    return -1;
  }
  if (total_blocks) *total_blocks = static_cast<unsigned int>(fs.f_blocks);
  if (free_blocks) *free_blocks = static_cast<unsigned int>(fs.f_bavail);
  return static_cast<int>(fs.f_bsize);
}

int DoFormating(int type) {
  switch (type) {
    case 0:
      BoardRunShell("umount /mnt/emmc");
      BoardRunShell("/home/mkfs.vfat /dev/mmcblk0p3");
      BoardRunShell("mount /dev/mmcblk0p3  /mnt/emmc");
      return 0;
    case 1: {
      bool part = BoardIsBlockDevice("/dev/mmcblk1p1") != 0;
      bool whole = !part && BoardIsBlockDevice("/dev/mmcblk1") != 0;
      BoardRunShell("umount /mnt/sdcard");
      if (part) {
        BoardRunShell("/home/mkfs.vfat /dev/mmcblk1p1");
        BoardRunShell("mount /dev/mmcblk1p1 /mnt/sdcard");
      } else if (whole) {
        BoardRunShell("/home/mkfs.vfat /dev/mmcblk1");
        BoardRunShell("mount /dev/mmcblk1 /mnt/sdcard");
      } else {
        return -1;
      }
      return 0;
    }
    default:
      return -1;
  }
}
