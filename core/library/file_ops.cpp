// The browser's file commands. Copies work on system paths ("/mnt/sdcard/x")
// mapped by BoardPath at each call, with the C library's calls, so no file
// name ever reaches a shell; the one command the system must run as text,
// the same-device move, is quoted. A paste never replaces an existing entry
// and a failed copy leaves no partial file behind. Jobs run on the worker
// dialog's thread and belong to the browser's job list (filebrowser_record.h).
//
// A copy is made under a hidden name in the target folder (".NAME.partial",
// never listed by the browser), flushed, and only then renamed to its own
// name, so a power cut never leaves a truncated file under a real name. A
// move to the other device is that copy followed by removing the source;
// any failure removes what was copied and leaves the source whole. While a
// copy runs, "/home/copy.job" names its hidden copy, its final name and
// (for a move) its source: FileOpsRecover at the next start removes a
// hidden copy left by a cut, or finishes a move whose copy was complete.
#include "core/library/file_ops.h"

#include "board/board.h"
#include "core/library/filebrowser_record.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/shell.h"
#include "core/runtime/xml.h"
#include "core/ui/dialog.h"
#include "ebook/charset.h"
#include "info/info.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace browser;

namespace {
constexpr char kLogSource[] = "core/filebrowser.c";
}  // namespace

namespace {

bool cancelled(const FileJob *j) {
  int s = j->state ? j->state->load() : DLG_RUNNING;
  return s == DLG_CANCEL || s == DLG_ABORT || s == DLG_STOP;
}

// Before each entry of a walk: -2 when the user cancelled, -1 when a path
// is too long or the source cannot be examined, else 0 with *st filled.
int checkEntry(FileJob *j, const std::string &src, const std::string *dst, struct stat *st) {
  if (cancelled(j)) {
    LOGI("Operation  is  canceled\n");
    return -2;
  }
  if (src.size() >= kPathMax || (dst && dst->size() >= kPathMax)) {
    LOGW("%s file path too long\n", src.size() >= kPathMax ? "source" : "destination");
    return -1;
  }
  return lstat(BoardPath(src.c_str()).c_str(), st) != 0 ? -1 : 0;
}

// Sums the room the regular files and folders under path take on a file
// system of block-byte units (each fills its last unit; a folder takes one)
// into total_bytes, and their sizes into copy_bytes.
int sumSize(FileJob *j, const std::string &path, uint64_t block) {
  struct stat st;
  if (int r = checkEntry(j, path, nullptr, &st)) return r;
  if (S_ISREG(st.st_mode)) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    j->total_bytes += (size + block - 1) / block * block;
    j->copy_bytes += size;
    return 0;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  j->total_bytes += block;
  DIR *d = opendir(BoardPath(path.c_str()).c_str());
  if (!d) {
    LOGW("cannot open dir: %s\n", path.c_str());
    return -1;
  }
  int r = 0;
  while (struct dirent *e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    r = sumSize(j, path + "/" + e->d_name, block);
    if (r < 0) break;
  }
  closedir(d);
  return r;
}

int copyRegular(FileJob *j, const std::string &src, const std::string &dst) {
  int in = open(BoardPath(src.c_str()).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    LOGW("cannot open src file: %s\n", src.c_str());
    return -1;
  }
  struct stat st;
  if (fstat(in, &st) != 0) {
    close(in);
    return -1;
  }
  // Never replaces a file that is there.
  std::string dstMapped = BoardPath(dst.c_str());
  int out = open(dstMapped.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    LOGW("cannot create destion file: %s\n", dst.c_str());
    close(in);
    return -1;
  }
  int r = 0;
  for (;;) {
    ssize_t n = read(in, j->buffer.data(), j->buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      LOGW("read src file:%s error\n", src.c_str());
      r = -1;
      break;
    }
    if (n == 0) break;
    ssize_t off = 0;
    while (off < n) {
      ssize_t w = write(out, j->buffer.data() + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        int err = w < 0 ? errno : ENOSPC;
        LOGW("write dst file:%s error: %s\n", dst.c_str(), std::strerror(err));
        r = err == ENOSPC ? -3 : -1;
        break;
      }
      off += w;
    }
    if (r) break;
    j->done_bytes += static_cast<uint64_t>(n);
    if (j->progress && j->copy_bytes)
      j->progress->store(static_cast<int>(j->done_bytes * 100 / j->copy_bytes));
    if (cancelled(j)) {
      LOGI("Operation  is  canceled\n");
      r = -2;
      break;
    }
  }
  if (!r) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
  }
  if (close(out) != 0 && !r) r = errno == ENOSPC ? -3 : -1;
  close(in);
  if (r && unlink(dstMapped.c_str()) != 0) LOGW("unlink: %s error\n", dst.c_str());
  return r;
}

int copyEntry(FileJob *j, const std::string &src, const std::string &dst) {
  struct stat st;
  if (int r = checkEntry(j, src, &dst, &st)) return r;
  if (S_ISREG(st.st_mode)) return copyRegular(j, src, dst);
  if (!S_ISDIR(st.st_mode)) return 0;
  if (mkdir(BoardPath(dst.c_str()).c_str(), 0777) != 0) {
    LOGW("cannot make dir: %s\n", dst.c_str());
    return -1;
  }
  DIR *d = opendir(BoardPath(src.c_str()).c_str());
  if (!d) {
    LOGW("cannot open dir: %s\n", src.c_str());
    return -1;
  }
  std::vector<std::string> names;
  while (struct dirent *e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
  closedir(d);
  for (const std::string &n : names) {
    int r = copyEntry(j, src + "/" + n, dst + "/" + n);
    if (r < 0) return r;
  }
  return 0;
}

// Removes path and everything under it, without following links.
int removeTree(const FileJob *j, const std::string &path) {
  struct stat st;
  std::string m = BoardPath(path.c_str());
  if (lstat(m.c_str(), &st) != 0) {
    LOGW("stat file %s error\n", path.c_str());
    return -1;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (unlink(m.c_str()) != 0) {
      LOGW("unlink file %s error\n", path.c_str());
      return -1;
    }
    return 0;
  }
  DIR *d = opendir(m.c_str());
  if (!d) {
    LOGW("cannot open dir %s\n", path.c_str());
    return -1;
  }
  std::vector<std::string> names;
  while (struct dirent *e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
  if (closedir(d) != 0) {
    LOGW("cannot close dir %s\n", path.c_str());
    return -1;
  }
  for (const std::string &n : names) {
    if (j && cancelled(j)) return -2;
    if (path.size() + 1 + n.size() > 4093) {
      LOGW("full path %s/%s too long\n", path.c_str(), n.c_str());
      return -1;
    }
    int r = removeTree(j, path + "/" + n);
    if (r < 0) return r;
  }
  if (rmdir(m.c_str()) != 0) {
    LOGW("cannot rmdir dir %s\n", path.c_str());
    return -1;
  }
  return 0;
}

constexpr char kJournal[] = "/home/copy.job";
constexpr char kPartialSuffix[] = ".partial";

// The hidden name a copy of name is made under in its target folder; a
// long name is shortened so that the hidden one still fits a FAT entry.
std::string partialName(const std::string &name) {
  size_t n = std::min<size_t>(name.size(), 240);
  while (n < name.size() && n > 0 && (static_cast<unsigned char>(name[n]) & 0xc0) == 0x80) n--;
  return "." + name.substr(0, n) + kPartialSuffix;
}

// Flushes everything written to the file system that holds dir, then the
// folder itself (its renames). Returns 0, -1 when dir cannot be opened.
int syncFolderOf(const std::string &dir) {
  int fd = open(BoardPath(dir.c_str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int r = syncfs(fd) == 0 && fsync(fd) == 0 ? 0 : -1;
  close(fd);
  return r;
}

int runCopy(FileJob *j) {
  std::string src = join(j->src_dir, j->name);
  std::string dst = join(j->dst_dir, j->name);
  std::string part = join(j->dst_dir, partialName(j->name));
  j->total_bytes = j->copy_bytes = j->done_bytes = 0;
  int block = BoardFsBlockSize(j->dst_dir.c_str());
  int r = sumSize(j, src, block > 0 ? static_cast<uint64_t>(block) : 1);
  if (r < 0) return r;
  int64_t free = BoardFreeBytes(j->dst_dir.c_str());
  if (free >= 0 && static_cast<uint64_t>(free) < j->total_bytes) {
    LOGW("no room for %llu bytes in %s (%lld free)\n", static_cast<unsigned long long>(j->total_bytes),
         j->dst_dir.c_str(), static_cast<long long>(free));
    return -3;
  }
  // A hidden copy left by an earlier cut is ours to replace.
  if (lexists(part)) removeTree(nullptr, part);
  std::string journal = part + "\n" + dst + "\n" + (j->mode == 2 ? src : std::string()) + "\n";
  if (SaveFileSafe(kJournal, journal.data(), journal.size()) != 0) return -1;
  j->buffer.resize(kCopyBuffer);
  r = copyEntry(j, src, part);
  j->buffer.clear();
  j->buffer.shrink_to_fit();
  // The copy is on the disk before it takes its name.
  if (r == 0 && syncFolderOf(j->dst_dir) != 0) r = -1;
  if (r == 0 && (lexists(dst) || std::rename(BoardPath(part.c_str()).c_str(), BoardPath(dst.c_str()).c_str()) != 0)) {
    LOGW("cannot rename %s to %s\n", part.c_str(), dst.c_str());
    r = -1;
  }
  if (r < 0) {
    // Nothing half copied stays, and a move's source was not touched.
    if (lexists(part)) removeTree(nullptr, part);
  } else {
    syncFolderOf(j->dst_dir);
    if (j->mode == 2 && removeTree(nullptr, src) != 0) LOGW("moved, but %s could not be removed\n", src.c_str());
  }
  unlink(BoardPath(kJournal).c_str());
  return r;
}

void jobEnded(FileJob *j) {
  FileBrowser *fb = j->fb;
  {
    std::scoped_lock lock(fb->mutex);
    j->phase = 2;
  }
  fb->job_ended.notify_all();
}

// Starts a job on the browser; false when switched off.
bool jobStart(FileJob *j) {
  std::scoped_lock lock(j->fb->mutex);
  if (j->fb->closed) return false;
  j->phase = 1;
  return true;
}

void pasteWork(void *arg, std::atomic<int> *state) {
  FileJob *j = static_cast<FileJob *>(arg);
  if (!jobStart(j)) return;
  j->state = state;
  int r = runCopy(j);
  FileBrowser *fb = j->fb;
  if (j->send) {
    FileBrowserReloadDir(&fb->head);
  } else if (loadDir(fb, j->dst_dir.c_str(), j->name.c_str()) != 0) {
    LOGW("FilebrowserLoadDir return error\n");
  }
  const char *const *text;
  switch (r) {
    case 0: text = j->send ? kCopyDone : kPasteDone; break;
    case -2:
      text = j->send ? (j->is_dir ? kCopyCancelDir : kCopyCancelFile) : (j->is_dir ? kPasteCancelDir : kPasteCancelFile);
      break;
    case -3: text = kDiskFull; break;
    default: text = kError; break;
  }
  say(text, true);
  jobEnded(j);
}

void deleteWork(void *arg, std::atomic<int> *state) {
  FileJob *j = static_cast<FileJob *>(arg);
  if (!jobStart(j)) return;
  j->state = state;
  FileBrowser *fb = j->fb;
  int r = removeTree(j, join(j->src_dir, j->name));
  if (r == 0) {
    // The entry after the deleted one becomes current.
    std::string next;
    {
      std::scoped_lock lock(fb->mutex);
      int n = fb->dirs.count + fb->files.count;
      int i = n ? (fb->cur + 1) % n : 0;
      const char *name = i < fb->dirs.count ? FileOrderListGet(&fb->dirs, i)
                                            : FileOrderListGet(&fb->files, i - fb->dirs.count);
      if (name) next = name;
    }
    loadDir(fb, j->src_dir.c_str(), next.c_str());
    say(j->is_dir ? kDirDeleted : kFileDeleted, true);
  } else if (r == -2) {
    say(j->is_dir ? kDeleteCancelDir : kDeleteCancelFile, true);
  } else {
    FileBrowserReloadDir(&fb->head);
    say(kError, true);
  }
  jobEnded(j);
}

char *copyInfo(char *buffer, int size, int arg, int language) {
  return getCopyProcessString(buffer, size, arg < 0 ? 0 : arg, language);
}

// A new job in the browser's list for the entry src_dir/name: copied
// (mode 1) or moved (2) into dst_dir, or deleted; jobs that ended are
// forgotten. Null (said) without memory.
FileJob *newJob(FileBrowser *fb, const std::string &srcDir, const std::string &name, bool isDir,
                const std::string &dstDir = {}, int mode = 1, bool send = false) {
  auto j = std::unique_ptr<FileJob>(new (std::nothrow) FileJob{fb, srcDir, name, dstDir, isDir, mode, send});
  if (!j) {
    LOGE("Not enough memory!\n");
    say(kError, false);
    return nullptr;
  }
  std::scoped_lock lock(fb->mutex);
  fb->jobs.remove_if([](const std::unique_ptr<FileJob> &x) { return x->phase == 2; });
  fb->jobs.push_back(std::move(j));
  return fb->jobs.back().get();
}

int runDialog(FileBrowser *fb, FileJob *j, int state, const char *t1, const char *t2, const char *t3,
              void (*work)(void *, std::atomic<int> *), bool progress) {
  DialogBox *box = NewDialogBox();
  if (!box) {
    LOGE("NewDialogBox return NULL\n");
    say(kError, false);
    return -1;
  }
  box->text[0] = t1;
  box->text[1] = t2;
  box->text[2] = t3;
  box->state = state;
  box->key_mode = 0;
  box->work = work;
  box->work_arg = j;
  if (progress) {
    box->info = copyInfo;
    box->info_arg = 0;
    j->progress = &box->info_arg;
  }
  int r = DailogBoxRun(box);
  if (r != 0) {
    LOGE("DailogBoxRun return error: %d\n", r);
    say(kError, false);
    return -1;
  }
  return 0;
}

FileBrowser *contextBrowser(void *context) { return browserOf(static_cast<Activity *>(context)); }


// The browser of a menu command with its current entry, when that entry is
// a file or folder on a device; otherwise says the error, logs refusal and
// returns null.
FileBrowser *entryFor(void *context, Entry *e, const char *refusal) {
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return nullptr;
  *e = current(fb);
  if (e->depth < 2 || e->name.empty()) {
    LOGW("%s", refusal);
    say(kError, false);
    return nullptr;
  }
  return fb;
}

int markEntry(void *context, int mode) {
  Entry e;
  FileBrowser *fb = entryFor(context, &e, mode == 1 ? "root dir, disable copying \n" : "root dir, disable cutting \n");
  if (!fb) return -1;
  fb->clip_dir = e.dir;
  fb->clip_name = e.name;
  fb->clip_is_dir = e.is_dir;
  fb->clip_mode = mode;
  sayText(std::string((mode == 1 ? kCopyMark : kCutMark)[PromptLanguage()]) + charset_name_text(e.name.c_str()), false);
  return 0;
}

// A same-device cut: one rename by the system's mv.
int moveSameDevice(FileBrowser *fb, const std::string &dst) {
  std::string cmd = "mv " + ShellQuotePath(join(fb->clip_dir, fb->clip_name)) + "  " + ShellQuotePath(dst);
  if (cmd.size() >= kPathMax) {
    LOGW("command to long\n");
    say(kError, false);
    return -1;
  }
  int rc = BoardRunShell(cmd.c_str());
  bool ok = rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
  loadDir(fb, dst.c_str(), fb->clip_name.c_str());
  say(ok ? kPasteDone : kError, true);
  ActivityReshow(GetCurrentActivity());
  return ok ? 0 : -1;
}

// A paste or a send of job j (null: refused) on a worker dialog with the
// copy's progress.
int startCopy(FileBrowser *fb, FileJob *j) {
  if (!j) return -1;
  int lg = PromptLanguage();
  const char *const *running =
      j->send ? (j->is_dir ? kCopyingDir : kCopyingFile) : (j->is_dir ? kPastingDir : kPastingFile);
  const char *const *cancel =
      j->send ? (j->is_dir ? kCopyCancelDir : kCopyCancelFile) : (j->is_dir ? kPasteCancelDir : kPasteCancelFile);
  return runDialog(fb, j, DLG_RUNNING, nullptr, running[lg], cancel[lg], pasteWork, true);
}

}  // namespace

int FileOpsRecover(void) {
  std::string text;
  if (ReadFileHead(kJournal, 3 * kPathMax + 3, &text) < 0) return 0;
  std::string line[3];
  size_t at = 0;
  for (std::string &l : line) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    l = text.substr(at, end - at);
    at = end + 1;
  }
  const std::string &part = line[0], &dst = line[1], &src = line[2];
  int r = 0;
  // Only a name this module makes is ever removed.
  const size_t n = sizeof kPartialSuffix - 1;
  size_t slash = part.rfind('/');
  bool ours = slash != std::string::npos && part.size() > slash + 1 + n && part[slash + 1] == '.' &&
              part.compare(part.size() - n, n, kPartialSuffix) == 0;
  if (ours && lexists(part)) {
    LOGW("removing %s, left by a copy that did not end\n", part.c_str());
    r = removeTree(nullptr, part) == 0 ? 1 : -1;
  } else if (ours && !src.empty() && lexists(dst) && lexists(src)) {
    LOGW("finishing the move of %s to %s\n", src.c_str(), dst.c_str());
    r = removeTree(nullptr, src) == 0 ? 1 : -1;
  }
  unlink(BoardPath(kJournal).c_str());
  return r;
}

int MenuCopyFile(void *context, int value, int preview) { return preview ? 0 : markEntry(context, 1); }
int MenuCutFile(void *context, int value, int preview) { return preview ? 0 : markEntry(context, 2); }

int MenuPasteFile(void *context, int value, int preview) {
  if (preview) return 0;
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return -1;
  Entry e = current(fb);
  std::string src = join(fb->clip_dir, fb->clip_name);
  std::string dst = join(e.dir, fb->clip_name);
  bool refuse = false;
  if (!fb->clip_mode) {
    refuse = true;
  } else if (e.depth < 2) {
    LOGW("root dir, desable deleting\n");
    refuse = true;
  } else if (fb->clip_dir.empty() || fb->clip_dir[0] != '/' || e.dir.empty() || e.dir[0] != '/' ||
             src.size() >= kPathMax || dst.size() >= kPathMax) {
    refuse = true;
  } else if (under(e.dir, src.c_str())) {
    LOGW("cannot copy: %s to it's subdir: %s\n", src.c_str(), e.dir.c_str());
    refuse = true;
  } else if (!lexists(src)) {
    LOGW("%s is gone\n", src.c_str());
    refuse = true;
  } else if (lexists(dst)) {
    // Also a paste into the folder that holds the entry: it stays as it is.
    LOGW("%s exists, not replaced\n", dst.c_str());
    refuse = true;
  }
  if (refuse) {
    say(kError, false);
    return -1;
  }
  if (fb->clip_mode == 2) {
    // The same device: the source's first three components start cur_dir.
    size_t third = src.find('/', src.find('/', 1) + 1);
    std::string device = src.substr(0, third);
    if (third != std::string::npos && under(e.dir, device.c_str())) return moveSameDevice(fb, e.dir);
  }
  return startCopy(fb, newJob(fb, fb->clip_dir, fb->clip_name, fb->clip_is_dir != 0, e.dir, fb->clip_mode));
}

int MenuSendTo(void *context, int value, int preview) {
  if (preview) return 0;
  Entry e;
  FileBrowser *fb = entryFor(context, &e, "root dir, disable copying \n");
  if (!fb) return -1;
  int type = GetMoutPointTypeFpath(e.dir.c_str());
  const char *target = type == 0 ? "/mnt/sdcard" : type == 1 ? "/mnt/emmc" : nullptr;
  if (!target) {
    LOGW("GetMoutPointType return %d\n", type);
    return 0;
  }
  if (lexists(join(target, e.name))) {
    LOGW("%s/%s exists, not replaced\n", target, e.name.c_str());
    say(kError, false);
    return -1;
  }
  return startCopy(fb, newJob(fb, e.dir, e.name, e.is_dir, target, 1, true));
}

int MenuDeleteFile(void *context, int value, int preview) {
  if (preview) return 0;
  Entry e;
  FileBrowser *fb = entryFor(context, &e, "root dir, desable deleting\n");
  if (!fb) return -1;
  FileJob *j = newJob(fb, e.dir, e.name, e.is_dir);
  if (!j) return -1;
  int lg = PromptLanguage();
  return runDialog(fb, j, DLG_WAIT_OK, (e.is_dir ? kAskDeleteDir : kAskDeleteFile)[lg],
                   (e.is_dir ? kDeletingDir : kDeletingFile)[lg], (e.is_dir ? kDeleteCancelDir : kDeleteCancelFile)[lg],
                   deleteWork, false);
}
