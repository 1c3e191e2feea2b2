// The hold-to-record memo capture: the microphone goes into RAM while the
// record key is held, and is encoded to MP3 once it is released, so that
// encoding never competes with capture. One memo capture at a time (the key
// distribution thread runs it); its capture thread is joined before return.
#include "record/record.h"

#include "board/board.h"
#include "core/runtime/config.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "sound/sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "record/memo.c";
constexpr int kMemoRate = 22050;
constexpr size_t kMemoBytes = 2867200;   // 65 seconds at 22050 Hz mono
constexpr size_t kMemoMinBytes = 40960;  // under this (about a second) nothing is kept
constexpr int kKeyPasses = 300;
constexpr int kKeyMisses = 4;

// The RAM buffer as the pipeline's read source after capture.
struct RamSource {
  const std::vector<unsigned char> *pcm;
  size_t total;
  size_t cur = 0;
  std::mutex mutex;
  std::condition_variable cond;
  bool dry = false;  // guarded by mutex
};

int ReadFromRbuffer(void *arg, void *buf, int len) {
  auto *src = static_cast<RamSource *>(arg);
  size_t n = std::min(static_cast<size_t>(len), src->total - src->cur);
  if (n == 0) {
    {
      std::scoped_lock lock(src->mutex);
      src->dry = true;
    }
    src->cond.notify_all();
    return 0;
  }
  std::memcpy(buf, src->pcm->data() + src->cur, n);
  src->cur += n;
  return static_cast<int>(n);
}

int settingOr(MenuItem *item, int fallback, const char *message) {
  int v = 0;
  if (ItemGetValue(item, nullptr, &v) != 0) {
    if (CfgDebugRecord) LOGD("%s", message);
    return fallback;
  }
  return v;
}

void restoreOutput() {
  SetDacOut();
  AutoSetHead();
}

}  // namespace

std::string MicSoundRecord(void) {
  SetMicRecord();
  int h = sound_iopen(2, kMemoRate, 1);
  if (h < 0) {
    LOGW("*********************\n");
    restoreOutput();
    return {};
  }
  int volume = settingOr(&RecordVolume, 10, "ItemGetValue(RecordVolume) return error\n");
  if (sound_setvol(h, -1, volume) != 0) LOGW("sound set record volume return error\n");

  std::vector<unsigned char> pcm;
  try {
    pcm.resize(kMemoBytes);
  } catch (const std::bad_alloc &) {
    sound_iclose(h);
    restoreOutput();
    return {};
  }
  std::atomic<bool> stop{false};
  std::atomic<bool> readErr{false};
  std::atomic<size_t> total{0};
  std::thread reader;
  try {
    reader = std::thread([&] {
      std::printf("read to buffer thread start!\n");
      while (!stop && total < kMemoBytes) {
        size_t at = total;
        int n = sound_iread(h, pcm.data() + at, static_cast<int>(std::min<size_t>(kRecBlock, kMemoBytes - at)));
        if (n == -2) {
          readErr = true;  // a prompt took the device: the memo ends here
          std::printf("---read_err=1---\n");
          break;
        }
        if (n <= 0) {
          std::printf("read sound error, want %d, read %d\n", kRecBlock, n);
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          continue;
        }
        total = at + static_cast<size_t>(n);
      }
      std::printf("read thread stop!\n");
    });
  } catch (const std::system_error &) {
    LOGW("can't creat ReadThread\n");
    sound_iclose(h);
    restoreOutput();
    return {};
  }
  // The key is watched until it has been up for four passes in a row. The
  // memo ends where the key was first seen up, not after the watch's tail,
  // so that a short press stays too short.
  int misses = 0;
  size_t releasedAt = 0;
  for (int pass = 0; pass < kKeyPasses && misses < kKeyMisses && !readErr && total < kMemoBytes; pass++) {
    if (BoardRecordKeyHeld() == 1) {
      misses = 0;
    } else {
      if (misses == 0) releasedAt = total;
      misses++;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  stop = true;
  reader.join();
  sound_iclose(h);
  restoreOutput();

  // The last block holds the key's release.
  size_t end = total;
  if (misses >= kKeyMisses) end = std::min(end, releasedAt);
  size_t kept = end > kRecBlock ? end - kRecBlock : 0;
  if (kept < kMemoMinBytes) return {};

  char name[64];
  std::snprintf(name, sizeof name, "/home/tag/tag%u.mp3", static_cast<unsigned>(BoardTime()));
  if (CfgDebugRecord) LOGD("MicSoundGetName: %s\n", name);
  std::error_code ec;
  std::filesystem::create_directories(BoardPath("/home/tag"), ec);
  int fd = open(BoardPath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    LOGW("open record %s to write error\n", name);
    return {};
  }
  std::unique_ptr<RecData, void (*)(RecData *)> rec(MallocRecData(5), FreeRecData);
  if (!rec) {
    close(fd);
    return {};
  }
  RamSource src{&pcm, kept};
  rec->fd = fd;
  rec->ops = &LameMp3Encode;
  rec->read = ReadFromRbuffer;
  rec->read_arg = &src;
  if (settingOr(&RecordNoise, 0, "ItemGetValue(RecordNoise) return error\n") == 1) {
    rec->ns = record_speex_init(512, kMemoRate);
    rec->ns_frame = 512;
  }
  rec->pause = 1;
  int rc = EncodeInit(rec.get(), 1, 16, kMemoRate);
  if (rc == 0) {
    EncodeSetPause(rec.get(), 0);
    std::unique_lock lock(src.mutex);
    src.cond.wait(lock, [&] { return src.dry; });
    lock.unlock();
    EncodeDeinit(rec.get());
  }
  close(fd);
  record_speex_destroy(rec->ns);
  if (rc != 0) return {};
  return name;
}
