// The recording screen ("Record"): records from the microphone, an external
// microphone, the line input or the radio into a new file of the recording
// folder, pauses and continues on RECORD or OK, and ends on a navigation
// key, the removal of its device, a full device or power-off, after which
// the file browser points at the new file.
//
// Everything here runs on the key distribution thread; the pipeline's two
// threads only read the device and write the file. The screen speaks only
// while the pipeline is paused or ended.
#include "record/record.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/library/filebrowser.h"
#include "core/library/storage.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "core/ui/menu.h"
#include "core/clock/alarm.h"
#include "radio/radio.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "speech/text_sound.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "record/record.c";
// 32 blocks: about 740 ms at 44100 Hz stereo, so a card that stalls for a
// few hundred milliseconds loses nothing.
constexpr int kPoolBlocks = 32;
// Below this much free space a recording does not start, and a running one
// ends (a second of 44100 Hz stereo WAV is 176 KB; the check runs each second).
constexpr int64_t kSpaceReserve = 512 * 1024;
constexpr int kRateTable[] = {8000, 11025, 16000, 22050, 32000, 44100};

using Pair = const char *const[2];
Pair kStart = {"开始录音", "Recording start"};
Pair kPause = {"录音暂停", "Recording pause"};
Pair kContinue = {"录音继续", "Recording continue"};
Pair kEnd = {"录音结束", "Recording end"};
Pair kDiskFull = {"磁盘已满...", "Disk full"};
Pair kFolder = {"录音文件", "RECORD"};

void say(const char *text, bool wait) {
  int h = text_sound_insert(text);
  if (wait) wait_text_sound_end(h);
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int setting(MenuItem *item, int fallback, const char *message) {
  int v = 0;
  if (ItemGetValue(item, nullptr, &v) != 0) {
    LOGW("%s", message);
    return fallback;
  }
  return v;
}

int recordDir() {
  int dir = setting(&RecordDir, 0, "ItemGetValue(RecordDir) return error\n");
  return dir >= 0 && dir <= 2 ? dir : 0;
}

struct RecordScreen {
  Activity head;  // first: the stack holds &head
  Activity *browser = nullptr;
  RecData *rec = nullptr;
  std::string path;
  int (*route)(void) = nullptr;
  int from_fm = 0;
  int handle = -1;
  int dir = 0;
  int saved_shutdown = 0;
};

RecordScreen *screenOf(Activity *a) { return a ? static_cast<RecordScreen *>(a->data) : nullptr; }

int deviceRead(void *arg, void *buf, int len) { return sound_read(*static_cast<int *>(arg), buf, len); }

// Ends the recording and frees the screen; the file is complete and the
// browser is on it. Returns why the pipeline had stopped writing.
int endRecording(RecordScreen *s) {
  EncodeDeinit(s->rec);
  int failed = s->rec->failed;
  sound_close(s->handle);
  close(s->rec->fd);
  record_speex_destroy(s->rec->ns);
  LOGI("record end: %s, %lld bytes\n", s->path.c_str(), static_cast<long long>(s->rec->encoded_bytes.load()));
  if (s->browser) FileBrowserLoadFile(s->browser, s->path.c_str());
  RestoryAutoShutdown(s->saved_shutdown);
  if (s->from_fm) {
    SetFmOut();
    if (is_head) SetOutToHead();
    else SetOutToSpeak();
    radio_enable_sleep = 1;
    ReadySleep();
  } else {
    SetDacOut();
    AutoSetHead();
  }
  FreeRecData(s->rec);
  ActivityRemove(&s->head);
  delete s;
  return failed;
}

void endAndSay(RecordScreen *s) {
  if (endRecording(s) == REC_FULL) say(kDiskFull[PromptLanguage()], true);
  say(kEnd[PromptLanguage()], true);
  ActivityReshow(GetCurrentActivity());
}

void pauseOrContinue(RecordScreen *s) {
  bool line = s->route == SetLineRecord && LineRecordWithPlay;
  if (!EncodeGetStatus(s->rec)) {
    EncodeSetPause(s->rec, 1);
    sleepMs(100);
    SetDacOut();
    if (s->from_fm) {
      if (is_head) SetOutToHead();
      else SetOutToSpeak();
    } else {
      AutoSetHead();
    }
    int h = text_sound_insert(kPause[PromptLanguage()]);
    if (line) {
      // The line input stays audible while paused.
      wait_text_sound_end(h);
      sleepMs(100);
      s->route();
    }
    return;
  }
  if (line) {
    SetDacOut();
    AutoSetHead();
  }
  say(kContinue[PromptLanguage()], true);
  sleepMs(100);
  if (s->from_fm) {
    SetFmOut();
    SetFmRecord();
  } else {
    s->route();
  }
  EncodeSetPause(s->rec, 0);
}

}  // namespace

std::string RecordGetFileName(const char *ext) {
  int dir = recordDir();
  const char *mount = MountPointOf(dir);
  if (IsMountDir(mount) != 1) {
    if (const char *text = FileBrowserNotInsertedText(dir)) say(text, true);
    return {};
  }
  std::string folder = std::string(mount) + "/" + kFolder[PromptLanguage()];
  std::string real = BoardPath(folder.c_str());
  struct stat st;
  if (stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (CfgDebugRecord) LOGD("stat %s file does not exit, now create it\n", folder.c_str());
    if (mkdir(real.c_str(), 0777) != 0) {
      LOGW("mkdir %s error\n", folder.c_str());
      return {};
    }
  }
  time_t now = BoardTime();
  struct tm tm;
  gmtime_r(&now, &tm);
  // Bounded: a folder cannot hold this many names.
  for (int tries = 0; tries < 100000; tries++) {
    char name[64];
    std::snprintf(name, sizeof name, "/record%d%02d%02d-%d.%s", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  record_no++, ext);
    std::string path = folder + name;
    if (access(BoardPath(path.c_str()).c_str(), F_OK) != 0) return path;
  }
  return {};
}

Activity *RecordCreate(Activity *browser, int from_fm) {
  int jack = 0;
  if (BoardGpioFunc("/dev/mic_line", 2, &jack) != 0) {
    LOGW("read /dev/mic_line error\n");
    return nullptr;
  }
  int fmt = setting(&RecordFmt, 0x103, "ItemGetValue(RecordFmt) return error\n");
  int index = fmt & 0xff;
  int rate = from_fm ? 44100 : index < 6 ? kRateTable[index] : 22050;
  bool wav = (fmt >> 8) == 2;
  const char *mount = MountPointOf(recordDir());
  int64_t free = IsMountDir(mount) == 1 ? BoardFreeBytes(mount) : -1;
  if (free >= 0 && free < kSpaceReserve) {
    say(kDiskFull[PromptLanguage()], true);
    return nullptr;
  }
  std::string path = RecordGetFileName(wav ? "wav" : "mp3");
  if (path.empty()) return nullptr;
  if (CfgDebugRecord) LOGD("record file: %s\n", path.c_str());
  std::string folder = path.substr(0, path.rfind('/'));
  say(kStart[PromptLanguage()], true);

  auto *s = new (std::nothrow) RecordScreen;
  RecData *rec = MallocRecData(kPoolBlocks);
  if (!s || !rec) {
    delete s;
    FreeRecData(rec);
    return nullptr;
  }
  s->head = {"Record", 0, RecordKey, nullptr, nullptr, 0, s};
  s->browser = browser;
  s->rec = rec;
  s->path = path;
  s->from_fm = from_fm;
  s->dir = recordDir();
  if (setting(&RecordNoise, 0, "ItemGetValue(RecordNoise) return error\n") == 1) {
    rec->ns = record_speex_init(512, rate);
    rec->ns_frame = 512;
  }
  int channels = 1;
  if (from_fm) {
    s->route = SetFmRecord;
    channels = HardVer == 32 ? 2 : 1;
  } else if (HardVer == 16 || jack != 0) {
    s->route = SetMicRecord;
  } else if (setting(&ExtRecInput, 0, "ItemGetValue(ExtRecInput) return error\n") == 1) {
    s->route = SetLineRecord;
    channels = 2;
  } else {
    s->route = SetExtMicRecord;
  }
  auto fail = [&](const std::string &why) -> Activity * {
    LOGW("%s", why.c_str());
    if (rec->fd >= 0) {
      close(rec->fd);
      unlink(BoardPath(path.c_str()).c_str());
    }
    if (s->handle > 0) sound_close(s->handle);
    record_speex_destroy(rec->ns);
    FreeRecData(rec);
    delete s;
    return nullptr;
  };
  s->handle = sound_open(2, rate, channels);
  if (s->handle < 0) return fail("*********************\n");
  if (!(from_fm && HardVer == 32)) {
    int volume = setting(&RecordVolume, 10, "ItemGetValue(RecordVolume) return error\n");
    if (sound_setvol(s->handle, -1, volume) != 0) LOGW("sound set record volume return error\n");
  }
  // A new name only: an existing recording is never truncated.
  rec->fd = open(BoardPath(path.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (rec->fd < 0) return fail("open record " + path + " to write error\n");
  rec->ops = wav ? &WaveEncode : &LameMp3Encode;
  rec->read = deviceRead;
  rec->read_arg = &s->handle;
  rec->live = 1;
  rec->space_path = folder;
  rec->space_reserve = kSpaceReserve / 2;
  rec->post_stop_key = 1;
  rec->pause = 1;
  if (EncodeInit(rec, channels, 16, rate) != 0) return fail("EncodeInit return error\n");
  s->saved_shutdown = SaveAndStopAutoShutdown();
  s->route();
  sleepMs(100);
  EncodeSetPause(rec, 0);
  if (ActivityAdd(&s->head) != 0) {
    endRecording(s);
    return nullptr;
  }
  return &s->head;
}

int RecordKey(Activity *a, const KeyEvent *key) {
  RecordScreen *s = screenOf(a);
  if (!s || !key) return 1;
  switch (key->code) {
    case VKEY_MENU: case VKEY_BACK: case VKEY_ESC:
    case VKEY_UP: case VKEY_DOWN: case VKEY_LEFT: case VKEY_RIGHT:
      endAndSay(s);
      return 0;
    case VKEY_RECORDSTOP:
      // The pipeline stopped writing (full card, write error).
      if (s->rec->failed == REC_OK) return 0;
      endAndSay(s);
      return 0;
    case VKEY_RECORD: case VKEY_OK:
      pauseOrContinue(s);
      return 0;
    case VKEY_VOL_: case VKEY_VOLADD:
      if (!s->from_fm && s->route == SetLineRecord && LineRecordWithPlay) {
        if (key->code == VKEY_VOL_) VolumeDecNoTts();
        else VolumeAddNoTts();
      }
      return 0;
    case VKEY_SDOUT: case VKEY_USBDISKOUT:
      if ((key->code == VKEY_SDOUT && s->dir == 1) || (key->code == VKEY_USBDISKOUT && s->dir == 2)) {
        if (CfgDebugRecord) LOGD("The current device has been pulled out!\n");
        endRecording(s);
        return 1;
      }
      return 0;
    case VKEY_POWEROFF:
      endRecording(s);
      return 1;
    default:
      return 1;
  }
}
