// core/library/storage.h: the storage devices under "/mnt" (the internal
// card, the memory card, the USB disk): which device a path is on, whether
// it is mounted, its size, and formatting it. Plain functions over the
// board's file system; any thread.
#pragma once

// 0 "/mnt/emmc", 1 "/mnt/sdcard", 2 "/mnt/usb"; null for another type.
const char *MountPointOf(int type);

// 1 when path is prefix or lies below it, else 0.
int PathIsUnder(const char *path, const char *prefix);

// 1 when path is a mount point, 0 when not, -1 when it cannot be examined.
int IsMountDir(const char *path);
// 0 "/mnt/emmc" or below, 1 "/mnt/sdcard" or below, 2 "/mnt/usb" or
// below, else -1.
int GetMoutPointTypeFpath(const char *path);
// The type from a device folder's last letter: 'c' 0, 'd' 1, 'b' 2, else -1.
int GetMoutPointType(const char *name);
// Block size of the mounted device of a type with its total and available
// block counts (low 32 bits); -1 for an unknown type, no mount or a failed
// statfs.
int GetMountDeviceSize(int type, unsigned int *total_blocks, unsigned int *free_blocks);
// Formats a storage device (0 internal memory, 1 memory card) with the
// board's shell. Returns 0, -1 for another type or a card without a device.
int DoFormating(int type);

// 1 when path starts, in any case, with "/mnt/emmc/daisy" or
// "/mnt/sdcard/daisy"; else 0.
int IsDaisyDir(const char *path);
