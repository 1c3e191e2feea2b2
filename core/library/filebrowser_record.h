// core/library/filebrowser_record.h: the browser's record and what its
// screen (filebrowser.cpp) and its file commands (file_ops.cpp) share: the
// spoken texts, path helpers, the current entry and the folder loader.
// Private to those two files.
#pragma once

#include "core/library/filebrowser.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>

// A paste, send or delete in progress: its own copies of the paths, run on
// the worker dialog's thread. Owned by the browser's job list; `phase` says
// whether the browser may forget it.
struct FileBrowser;

struct FileJob {
  FileBrowser *fb = nullptr;
  std::string src_dir, name, dst_dir;
  bool is_dir = false;
  int mode = 1;       // 1 copy, 2 move
  bool send = false;  // sending: keep the current entry afterwards
  std::atomic<int> *state = nullptr;
  std::atomic<int> *progress = nullptr;
  uint64_t total_bytes = 0;  // room the copy takes on the target
  uint64_t copy_bytes = 0, done_bytes = 0;  // bytes to copy, copied
  std::vector<char> buffer;
  std::atomic<int> phase{0};  // 0 not started, 1 running, 2 ended
};


struct FileBrowser {
  Activity head;  // first: the stack holds &head
  mutable std::mutex mutex;
  FileOrderList dirs;    // guarded by mutex
  FileOrderList files;   // guarded by mutex
  std::string cur_dir;   // guarded by mutex
  int depth = 0;         // guarded by mutex
  int is_daisy_dir = 0;  // guarded by mutex
  int cur = 0;           // guarded by mutex
  int announce_root = 0; // guarded by mutex
  bool closed = false;   // guarded by mutex: switched off, nothing more is listed
  int usb_connected = 0; // key thread only
  // The clipboard (key thread only; a job works on its own copies).
  std::string clip_dir, clip_name;
  int clip_is_dir = 0;
  int clip_mode = 0;  // 0 nothing, 1 copy, 2 cut
  // The folder last left with back and its current entry (key thread only).
  std::string history_path, history_name;
  std::list<std::unique_ptr<FileJob>> jobs;  // guarded by mutex
  std::condition_variable job_ended;
};

namespace browser {

constexpr size_t kPathMax = 4096;
constexpr size_t kCopyBuffer = 0x100000;

using Pair = const char *const[2];
Pair kMemory = {"本机磁盘", "Memory"};
Pair kSdCard = {"SD卡", "SD card"};
Pair kTfCard = {"TF卡", "TF card"};
Pair kUsbDisk = {"U盘", "USB disk"};
Pair kNoMemory = {"没有内存卡", "No memory"};
Pair kNoSdCard = {"没有SD卡", "No sd card"};
Pair kNoTfCard = {"没有TF卡", "No tf card"};
Pair kNoUsbDisk = {"没有Ｕ盘", "No usb disk"};
Pair kEmptyFolder = {"空文件夹", "no file"};
Pair kFolder = {"文件夹", "folder"};
Pair kRootDir = {"根目录", "root directory"};
Pair kByte = {"字节", "byte"};
Pair kKilo = {"K字节", "KB"};
Pair kMega = {"兆", "MB"};
Pair kGiga = {"GB", "GB"};
Pair kUnsupported = {"不支持此类文件", "do not support this file"};
Pair kCopyMark = {"已设置复制标志：", "Copy: "};
Pair kCutMark = {"已设置剪切标志：", "Cut: "};
Pair kError = {"操作失败...", "Error"};
Pair kPasteDone = {"粘贴完成...", "Done"};
Pair kCopyDone = {"复制完成...", "Done"};
Pair kDiskFull = {"磁盘已满...", "Disk full"};
Pair kPastingDir = {"正在粘贴目录...", "Pasting"};
Pair kPastingFile = {"正在粘贴文件...", "Pasting"};
Pair kPasteCancelDir = {"已取消粘贴目录...", "Cancelled"};
Pair kPasteCancelFile = {"已取消粘贴文件...", "Cancelled"};
Pair kCopyingDir = {"正在复制目录...", "Pasting"};
Pair kCopyingFile = {"正在复制文件...", "Pasting"};
Pair kCopyCancelDir = {"已取复制目录...", "Cancelled"};
Pair kCopyCancelFile = {"已取复制文件...", "Cancelled"};
Pair kAskDeleteDir = {"是否删除目录...", "Delete the directory?"};
Pair kAskDeleteFile = {"是否删除文件...", "Delete the file?"};
Pair kDeletingDir = {"正在删除目录...", "deleting"};
Pair kDeletingFile = {"正在删除文件...", "deleting"};
Pair kDeleteCancelDir = {"已取消删除目录...", "Cancelled"};
Pair kDeleteCancelFile = {"已取消删除文件...", "Cancelled"};
Pair kDirDeleted = {"目录已删除...", "Done"};
Pair kFileDeleted = {"文件已删除...", "Done"};
Pair kUsbConnecting = {"USB连接中...", "Usb connecting!"};
Pair kPowerOff = {"正在关机", "Power off"};
Pair kRebooting = {"正在重启", "Rebooting"};

// Speaks one of the texts above (or any text) in the prompt language; wait:
// until it has been heard.
void say(const char *const *pair, bool wait);
void sayText(const std::string &text, bool wait);

bool lexists(const std::string &path);
bool isDirPath(const std::string &path);
// Folders below "/": "/mnt" is 1, "/mnt/emmc" 2.
int depthOf(const std::string &dir);
std::string join(const std::string &dir, const std::string &name);
inline bool under(const std::string &path, const char *prefix) { return PathIsUnder(path.c_str(), prefix) != 0; }
// The spoken name of a storage device, and its "not inserted" text.
const char *const *deviceName(int type);
const char *const *notInserted(int type);

// The browser of a screen, or null when the screen is not the browser.
FileBrowser *browserOf(Activity *a);

// What one entry is, copied out of the listing.
struct Entry {
  std::string dir;
  std::string name;  // "" for an empty folder
  bool is_dir = false;
  int depth = 0;
  int index = 0;
  int total = 0;
  bool daisy = false;
  bool announce = false;
};

// The current entry; takeAnnounce clears the device list's pending
// announcement.
Entry current(FileBrowser *fb, bool takeAnnounce = false);

// Lists dir (null: the device list) with select current. Returns 0, -1.
int loadDir(FileBrowser *fb, const char *dir, const char *select);

}  // namespace browser
