// The sound device layer: the live handle (whoever holds the device now)
// and the saved handle (the main client an insert pre-empted), both guarded
// by g_mutex together with the handle counter and gcreq. Every handle
// operation holds g_mutex for its whole run, including the device's write,
// read and drain, so a drain (the end of a prompt, a player's close) can
// keep other callers waiting for up to the latency budget; a pre-emption
// discards the queued sound instead of draining it. The routing operations and snd_set_volume take no lock;
// they touch only the mixer, the control lines and the atomic is_head.
// Nothing here calls back into a client.
#include "sound/sound.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

constexpr char kLogSource[] = "sound/sound.c";

std::atomic<int> is_head{0};
std::atomic<int> LineRecordWithPlay{0};

namespace {

constexpr int kHw10 = 16;
constexpr int kHw20 = 32;
constexpr int kLatencyMs = 250;
constexpr int kFmt = 16;  // AFMT_S16_LE
constexpr int kSavedOpenMarker = 100;

constexpr char kDsp[] = "/dev/dsp";
constexpr char kMixer[] = "/dev/mixer";
constexpr char kSgmEn[] = "/dev/sgm_en";
constexpr char kDacFm[] = "/dev/dac_fm";
constexpr char kMicLine[] = "/dev/mic_line";
constexpr char kHeadIn[] = "/dev/head_in";
constexpr char kAmpEn[] = "/dev/amp_en";

// OUTSRC values of the board's codec driver.
enum { kOutHead = 4, kOutSpeak = 5, kOutDac = 17, kOutRecOnly = 18, kOutFm = 19, kOutLineWithPlay = 22 };
// RECSRC values.
enum { kRecMic = 7, kRecExtMic = 6, kRecLine = 14, kRecFm = 15 };

constexpr int kMainSteps10[26] = {0,  3,  6,  9,  12, 15, 18, 21, 24, 27, 30, 33, 36,
                                  39, 42, 45, 48, 51, 54, 56, 58, 60, 62, 64, 65, 67};
constexpr int kMainSteps[26] = {0,  3,  6,  9,  12, 15, 18, 21, 24, 27, 30, 33, 36,
                                39, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 78};

std::mutex g_mutex;
constexpr int kFadeFull = 1000;
std::atomic<int> g_fade{kFadeFull};  // the main client's gain in thousandths (sound_fade)
SoundHandle gsnd{0, 0, -1, 0, 0, 0, 0, 0, kLatencyMs, 0, 0, 0};  // guarded by g_mutex
SoundHandle gsnd_save{0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0};      // guarded by g_mutex
int gsnd_id = 1;  // guarded by g_mutex
int gcreq = 0;    // guarded by g_mutex

int clampStep(int step) { return std::clamp(step, 0, 25); }

void resetHandle(SoundHandle *h) {
  h->pid = 0;
  h->id = 0;
  h->fd = -1;
  h->mode &= kSoundModeFm;
  h->fmt = 0;
  h->ch = 0;
  h->rate = 0;
  h->is_insert = 0;
}

int newId() {
  int id = gsnd_id;
  if (id < 1) {
    id = 1;
    gsnd_id = 2;
  } else {
    gsnd_id = id == INT_MAX ? 1 : id + 1;
  }
  return id;
}

void dumpHandle(const SoundHandle *h, bool saved) {
  if (!CfgDebugSnd) return;
  if (saved) {
    LOGD("snd_save=0x%x, snd_save->pid=%d, snd_save->id=%d, snd_save->mode=%d, snd_save->ch=%d, "
         "snd_save->rate=%d, snd_save->is_insert=%d\n",
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)), h->pid, h->id, static_cast<int>(h->mode), h->ch,
         h->rate, h->is_insert);
  } else {
    LOGD("snd=0x%x, snd->pid=%d, snd->id=%d, snd->mode=%d, snd->ch=%d, snd->rate=%d, snd->is_insert=%d\n",
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)), h->pid, h->id, static_cast<int>(h->mode), h->ch,
         h->rate, h->is_insert);
  }
}

// Entry and exit lines of a handle operation under the sound debug switch.
class DebugScope {
 public:
  explicit DebugScope(const char *name) : name_(name) {
    if (CfgDebugSnd) LOGD("==== in %s ======\n", name_);
  }
  ~DebugScope() {
    if (CfgDebugSnd) LOGD("==== exit %s (%s)======\n", name_, ok_ ? "ok" : "error");
  }
  int result(int r) {
    ok_ = r >= 0;
    return r;
  }

 private:
  const char *name_;
  bool ok_ = true;
};

int getSpace(int fd, BoardDspSpace *sp) {
  if (BoardDspGetSpace(fd, sp) != 0) return -1;
  if (CfgDebugSnd)
    LOGD("fragments=%d, fragstotal=%d, fragsize=%d, bytes=%d\n", sp->fragments, sp->fragstotal, sp->fragsize,
         sp->bytes);
  return 0;
}

// Keeps at most `time` ms (and at least two fragments) queued in the driver.
void computeBudget(SoundHandle *h) {
  BoardDspSpace sp{};
  if (getSpace(h->fd, &sp) != 0) {
    LOGE("snd_get_ospace: SNDCTL_DSP_GETOSPACE ioctl error.\n");
    h->fragsfree = 0;
    return;
  }
  h->fragstotal = sp.fragstotal;
  h->fragsize = sp.fragsize;
  int64_t bytes = static_cast<int64_t>(h->time) * h->rate * h->ch * 2;
  int64_t per = static_cast<int64_t>(std::max(sp.fragsize, 1)) * 1000;
  auto needed = static_cast<int>((bytes + per - 1) / per);
  needed = std::max(needed, 2);
  h->fragsfree = h->fragstotal - needed;
  if (h->fragsfree < 0) {
    LOGW("snd card buffer too small!\n");
    h->fragsfree = 0;
  }
  if (CfgDebugSnd) LOGD("fragstotal=%d, fragsfree=%d, fragsize=%d\n", h->fragstotal, h->fragsfree, h->fragsize);
}

// Waits until the driver has played everything queued (sound_wait). Each
// round sleeps as long as the queued bytes take to play, at most one
// fragment's time, and 2 ms within the last fragment, so a pre-empting
// prompt starts within the latency budget rather than up to a fragment
// later.
void drain(const SoundHandle *h) {
  BoardDspSpace sp{};
  if (getSpace(h->fd, &sp) != 0 || h->rate <= 0 || h->ch <= 0) return;
  const int64_t bytesPerSec = static_cast<int64_t>(h->rate) * h->ch * 2;
  const int64_t fragUs = (static_cast<int64_t>(sp.fragsize) * 100000 / bytesPerSec) * 10;
  // A driver that never drains would hold the lock for ever: give up after
  // a few times the whole buffer.
  int64_t deadline = BoardMonotonicUs() + 4 * (sp.fragstotal + 2) * std::max<int64_t>(fragUs, 1000);
  while (sp.fragments != sp.fragstotal && BoardMonotonicUs() < deadline) {
    int64_t queued = static_cast<int64_t>(sp.fragstotal) * sp.fragsize - sp.bytes;
    int64_t us = queued * 1000000 / bytesPerSec;
    // The driver frees space a fragment at a time: within the last one,
    // look often rather than oversleep its end.
    us = queued <= sp.fragsize ? std::min<int64_t>(us, 2000) : std::min(us, fragUs);
    us = std::max<int64_t>(us, 500);
    std::this_thread::sleep_for(std::chrono::microseconds(us));
    if (getSpace(h->fd, &sp) != 0) return;
  }
}

// Discards what a playing handle has queued and not yet played: whoever
// takes over sounds at once instead of after the old sound's blocks.
void discard(const SoundHandle *h) {
  if (h->fd != -1 && (h->mode & 0xff) == 1) BoardDspReset(h->fd);
}

void logParamError(int r, int rate, int ch) {
  if (r == -1) {
    LOGE("open %s failed.\n", kDsp);
    return;
  }
  if (r == -2) LOGE("dsp set rate error!\n");
  if (r == -3) LOGE("dsp_set_channels error!\n");
  if (r == -4) LOGE("dsp set fmt error!\n");
  LOGE("snd_set_param error: rate=%d, ch=%d, fmt=%d\n", rate, ch, kFmt);
}

// Opens the device for a handle's mode, rate and channels.
int openDevice(unsigned mode, int rate, int ch) {
  int fd = BoardDspOpen(rate, ch, (mode & 0xff) == 1 ? 0 : 1);
  if (fd < 0) logParamError(fd, rate, ch);
  return fd;
}

bool validParams(int mode, int rate, int ch) { return (mode == 1 || mode == 2) && rate > 0 && (ch == 1 || ch == 2); }

// Hands the device back to the saved main client at the end of an insert.
// Returns 0, or -1 when there is no one to restore or the device failed.
int restore() {
  if (gsnd_save.mode & kSoundModeFm) SetFmOut();
  if (gcreq) {
    gcreq = 0;
    gsnd = gsnd_save;  // keeps the saved FM bit, which only sound_close_fm clears
    resetHandle(&gsnd);
    BoardSoundEvent("restore client=none result=-1");
    return -1;
  }
  gsnd = gsnd_save;
  gsnd.is_insert = 0;
  if (gsnd.fd == -1) return 0;
  gsnd.fd = openDevice(gsnd.mode, gsnd.rate, gsnd.ch);
  if (gsnd.fd < 0) {
    LOGE("restore sound error!\n");
    BoardSoundEvent("restore client=%d result=-1", gsnd.id);
    resetHandle(&gsnd);
    return -1;
  }
  if ((gsnd.mode & 0xff) == 1) computeBudget(&gsnd);
  BoardSoundEvent("restore client=%d fd=%d rate=%d ch=%d", gsnd.id, gsnd.fd, gsnd.rate, gsnd.ch);
  return 0;
}

void swapStereo(void *buf, int frames) {
  auto *s = static_cast<int16_t *>(buf);
  for (int i = 0; i < frames; i++) std::swap(s[2 * i], s[2 * i + 1]);
}

// Write steps 2-5 on the live handle, the caller having checked the id.
int writeLive(void *buf, int len, bool insert) {
  if (gsnd.fd == -1) {
    if (!insert) LOGE("snd->fd = -1\n");
    return -1;
  }
  BoardDspSpace sp{};
  if (getSpace(gsnd.fd, &sp) != 0) sp.fragments = 0;
  if (sp.fragments <= gsnd.fragsfree) return -3;
  int frames = gsnd.ch == 2 ? len / 4 : 0;
  swapStereo(buf, frames);
  int n = BoardDspWrite(gsnd.fd, buf, len);
  // Frames the device did not take go back as they came, so a retry of the
  // rest plays them the right way round.
  int from = n > 0 ? (n + 3) / 4 : 0;
  if (from < frames) swapStereo(static_cast<int16_t *>(buf) + 2 * from, frames - from);
  return n;
}

// Mixer and line helpers for the routing operations.
int mixerWrite(int control, int value) {
  int fd = BoardMixerOpen();
  if (fd < 0) {
    LOGE("open %s failed.\n", kMixer);
    return -2;
  }
  int r = BoardMixerWrite(fd, control, value);
  BoardMixerClose(fd);
  if (r == 0) return 0;
  switch (control) {
    case BOARD_MIXER_LINE: LOGE("mixer set input vol failed!\n"); break;
    case BOARD_MIXER_RECSRC: LOGE("mixer set recsrc failed!\n"); break;
    case BOARD_MIXER_OUTSRC: LOGE("mixer set outsrc failed!\n"); break;
    default: break;
  }
  return -3;
}

// GpioFunc on a routing line: 0, or -4 when the line failed.
int line(const char *path, int func, int value) {
  int v = value;
  int r = BoardGpioFunc(path, func, &v);
  if (r != 0) {
    LOGW("GpioFunc %s, func=%d return %d\n", path, func, r);
    return -4;
  }
  return 0;
}

// Reads the headphone detect line: 0 plugged, 1 not; -1 unreadable.
int readHeadLine() {
  int v = 0;
  if (BoardGpioFunc(kHeadIn, 2, &v) != 0) {
    LOGW("GpioFunc %s, func=%d return %d\n", kHeadIn, 2, -1);
    return -1;
  }
  return v;
}

int unknownHardware() {
  LOGE("unknow hardware version: %d\n", HardVer);
  return -5;
}

int reapplyVolume() { return snd_set_volume(MainVolume, -1); }

// Runs steps in order, stopping at the first failure.
template <typename... F>
int steps(F... f) {
  int r = 0;
  ((r = r < 0 ? r : f()), ...);
  return r;
}

// ---- Routing by hardware version ----
//
// Each hardware version switches its outputs and record sources with its
// own means (control lines on 1.0, the codec driver's OUTSRC and RECSRC on
// 2.0). One const record per version holds them; sound_init chooses the
// record for HardVer once, and the routing operations call through it.
// Every callback returns 0, or -1 headphone line unreadable, -2 mixer
// cannot be opened, -3 mixer write failed, -4 control line failed, -5
// unsupported hardware version.
struct Routing {
  // Configures the lines at start, reads the headphone line into is_head
  // and LineRecordWithPlay where the codec tells. 0 or -1 (any failure);
  // *ampFailed set when only the speaker amplifier's line failed.
  int (*init)(bool *ampFailed);
  // Switches the speaker amplifier off at stop.
  int (*deinit)(void);
  // Output to the headphone, or to the speaker; is_head follows.
  int (*toHead)(void);
  int (*toSpeak)(void);
  // Output where the headphone line says.
  int (*autoHead)(void);
  // The headphone serves as the radio's antenna: while it is plugged the
  // speaker can play instead (each call exchanges the two).
  int (*revAmp)(void);
  // Output from the codec's digital path, or from the FM tuner.
  int (*dacOut)(void);
  int (*fmOut)(void);
  // Record source: the FM tuner, the microphone, an external microphone,
  // the line input.
  int (*fmRecord)(void);
  int (*micRecord)(void);
  int (*extMicRecord)(void);
  int (*lineRecord)(void);
  // The play volume is raised by 30 % on the headphone.
  bool louderOnHeadphone;
};

// Calls f with whether a headphone is plugged; -1 when the line is unreadable.
template <typename F>
int withHeadphone(F f) {
  int level = readHeadLine();
  return level < 0 ? -1 : f(level == 0);
}

// Hardware 1.0: control lines only; "/dev/amp_en" 1 is the speaker on.
int initV1(bool *ampFailed) {
  if (line(kSgmEn, 1, 1) || line(kDacFm, 1, 0) || line(kMicLine, 1, 0)) return -1;
  int level = readHeadLine();
  if (level < 0) return -1;
  is_head = level == 0 ? 1 : 0;
  *ampFailed = line(kAmpEn, 1, level) != 0;
  return 0;
}

int toHeadV1() {
  is_head = 1;
  return line(kAmpEn, 3, 0);
}

int toSpeakV1() {
  int r = line(kAmpEn, 3, 1);
  is_head = 0;
  return r;
}

int autoHeadV1(bool plugged) {
  is_head = plugged ? 1 : 0;
  return line(kAmpEn, 3, plugged ? 0 : 1);
}

int revAmpV1(bool plugged) {
  if (plugged) {
    int old = is_head;
    is_head = old ? 0 : 1;
    return line(kAmpEn, 3, old != 0 ? 1 : 0);
  }
  if (is_head) {
    is_head = 0;
    return line(kAmpEn, 3, 1);
  }
  return 0;
}

const Routing kRoutingV1 = {
    initV1,
    [] { return line(kAmpEn, 3, 0); },
    toHeadV1,
    toSpeakV1,
    [] { return withHeadphone(autoHeadV1); },
    [] { return withHeadphone(revAmpV1); },
    [] { return steps([] { return line(kSgmEn, 3, 1); }, [] { return line(kDacFm, 3, 0); }); },
    [] {
      return steps([] { return line(kSgmEn, 3, 0); }, [] { return line(kDacFm, 3, 1); },
                   [] { return mixerWrite(BOARD_MIXER_LINE, 0); });
    },
    [] { return line(kMicLine, 3, 1); },
    [] {
      return steps([] { return line(kAmpEn, 3, 0); }, [] { return line(kMicLine, 3, 0); },
                   [] { return mixerWrite(BOARD_MIXER_LINE, 100); });
    },
    [] { return 0; },
    [] { return 0; },
    false,
};

// Hardware 2.0: the codec driver's OUTSRC and RECSRC; "/dev/amp_en" is
// inverted (0 the speaker on).
int initV2(bool *ampFailed) {
  LineRecordWithPlay = mixerWrite(BOARD_MIXER_OUTSRC, kOutLineWithPlay) == 0 ? 1 : 0;
  std::printf("Line record supported: %s\n", LineRecordWithPlay ? "Line record with play" : "Line only record");
  int level = readHeadLine();
  if (level < 0) return -1;
  is_head = level == 0 ? 1 : 0;
  if (mixerWrite(BOARD_MIXER_OUTSRC, is_head ? kOutHead : kOutSpeak) != 0) return -1;
  *ampFailed = line(kAmpEn, 1, is_head) != 0;
  if (mixerWrite(BOARD_MIXER_OUTSRC, kOutDac) != 0) return -1;
  return 0;
}

// Output to the headphone (head 1) or the speaker on 2.0.
int outputV2(int head) {
  return steps([head] { return mixerWrite(BOARD_MIXER_OUTSRC, head ? kOutHead : kOutSpeak); },
               [head] {
                 is_head = head;
                 return line(kAmpEn, 3, head);
               },
               reapplyVolume);
}

int revAmpV2(bool plugged) {
  if (!plugged) return is_head ? outputV2(0) : reapplyVolume();
  return outputV2(is_head ? 0 : 1);
}

// Record from a microphone (RECSRC source) without monitoring.
int micRecordV2(int source) {
  return steps([] { return mixerWrite(BOARD_MIXER_LINE, 100); },
               [source] { return mixerWrite(BOARD_MIXER_RECSRC, source); },
               [] { return mixerWrite(BOARD_MIXER_OUTSRC, kOutRecOnly); }, [] { return line(kAmpEn, 3, 1); });
}

int lineRecordV2() {
  int r = steps([] { return mixerWrite(BOARD_MIXER_LINE, 0); },
                [] { return mixerWrite(BOARD_MIXER_RECSRC, kRecLine); });
  if (r < 0) return r;
  bool withPlay = LineRecordWithPlay != 0;
  r = mixerWrite(BOARD_MIXER_OUTSRC, withPlay ? kOutLineWithPlay : kOutRecOnly);
  if (r < 0) std::printf("mixer set outsrc failed: %s\n", withPlay ? "Line record with play" : "Line only record");
  return r;
}

const Routing kRoutingV2 = {
    initV2,
    [] { return line(kAmpEn, 3, 1); },
    [] { return outputV2(1); },
    [] { return outputV2(0); },
    [] { return withHeadphone([](bool plugged) { return outputV2(plugged ? 1 : 0); }); },
    [] { return withHeadphone(revAmpV2); },
    [] { return mixerWrite(BOARD_MIXER_OUTSRC, kOutDac); },
    [] {
      return steps([] { return mixerWrite(BOARD_MIXER_LINE, 0); }, [] { return mixerWrite(BOARD_MIXER_RECSRC, kRecFm); },
                   [] { return mixerWrite(BOARD_MIXER_OUTSRC, kOutFm); });
    },
    [] { return 0; },
    [] { return micRecordV2(kRecMic); },
    [] { return micRecordV2(kRecExtMic); },
    lineRecordV2,
    true,
};

// Any other version: every operation is refused with -5.
int initUnknown(bool *) {
  unknownHardware();
  return -1;
}

const Routing kRoutingUnknown = {
    initUnknown,     unknownHardware, unknownHardware, unknownHardware, unknownHardware, unknownHardware,
    unknownHardware, unknownHardware, unknownHardware, unknownHardware, unknownHardware, unknownHardware,
    false,
};

const Routing *routingFor(int hardVer) {
  if (hardVer == kHw10) return &kRoutingV1;
  if (hardVer == kHw20) return &kRoutingV2;
  return &kRoutingUnknown;
}

// The record sound_init chose. Before sound_init (early start-up, tests of
// a single operation) the version at hand decides.
std::atomic<const Routing *> g_routing{nullptr};

const Routing &routing() {
  const Routing *r = g_routing.load();
  return r ? *r : *routingFor(HardVer);
}

// Sets the open device to rate and ch and keeps them in gsnd; rate and
// channels change how long a fragment lasts. Caller holds g_mutex. Returns
// 0, -1 when the device refused them.
int applyParams(int rate, int ch) {
  int r = BoardDspSetParams(gsnd.fd, rate, ch);
  if (r < 0) {
    logParamError(r == -1 ? -2 : r, rate, ch);
    return -1;
  }
  gsnd.fmt = kFmt;
  gsnd.ch = ch;
  gsnd.rate = rate;
  if ((gsnd.mode & 0xff) == 1) computeBudget(&gsnd);
  return 0;
}

}  // namespace

int main_step_to_volume(int step) {
  step = clampStep(step);
  return HardVer == kHw10 ? kMainSteps10[step] : kMainSteps[step];
}

int rec_step_to_volume(int step) {
  step = clampStep(step);
  return HardVer == kHw10 ? step * 60 / 25 : step * 4;
}

int snd_set_volume(int play_step, int rec_step) {
  int fd = BoardMixerOpen();
  if (fd < 0) {
    LOGE("open %s failed.\n", kMixer);
    return -2;
  }
  int r = 0;
  if (play_step >= 0) {
    int level = main_step_to_volume(play_step);
    if (routing().louderOnHeadphone && is_head) level = std::min(level * 130 / 100, 100);
    if (BoardMixerWrite(fd, BOARD_MIXER_VOLUME, level) != 0) r = -3;
  }
  if (r == 0 && rec_step >= 0) {
    if (BoardMixerWrite(fd, BOARD_MIXER_MIC, rec_step_to_volume(rec_step)) != 0) r = -3;
  }
  BoardMixerClose(fd);
  return r;
}

int sound_init(void) {
  {
    std::scoped_lock lock(g_mutex);
    gsnd = SoundHandle{0, 0, -1, 0, 0, 0, 0, 0, kLatencyMs, 0, 0, 0};
    gsnd_save = SoundHandle{0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    gcreq = 0;
    gsnd_id = 1;
  }
  LineRecordWithPlay = 0;

  int mixer = BoardMixerOpen();
  if (mixer < 0) {
    LOGE("open %s failed.\n", kMixer);
    return -1;
  }
  BoardMixerClose(mixer);

  g_routing = routingFor(HardVer);
  bool ampFailed = false;
  if (routing().init(&ampFailed) != 0) return -1;

  if (snd_set_volume(MainVolume, -1) != 0) {
    LOGE("mixer set play vol failed!\n");
    return -1;
  }
  if (snd_set_volume(-1, MRecordVolume) != 0) {
    LOGE("mixer set record vol failed!\n");
    return -1;
  }
  return ampFailed ? -1 : 0;
}

int sound_deinit(void) { return routing().deinit(); }

int sound_open(int mode, int rate, int ch) {
  DebugScope dbg("sound_open");
  std::scoped_lock lock(g_mutex);
  g_fade = kFadeFull;  // a new client is heard at its full volume
  if (!validParams(mode, rate, ch)) return dbg.result(-1);
  auto m = static_cast<unsigned>(mode);
  if (gsnd.is_insert) {
    dumpHandle(&gsnd_save, true);
    if ((gsnd_save.mode & kSoundModeFm) && mode == 1) {
      LOGW("sound busy! snd_save->mode=%d\n", static_cast<int>(gsnd_save.mode));
      return dbg.result(-1);
    }
    if (gsnd_save.id != 0) return dbg.result(-2);
    // The device is the insert's: this client gets it at the hand-back.
    gsnd_save.id = newId();
    gsnd_save.pid = getpid();
    gsnd_save.fd = kSavedOpenMarker;
    gsnd_save.fmt = kFmt;
    gsnd_save.ch = ch;
    gsnd_save.rate = rate;
    gsnd_save.mode |= m;
    gcreq = 0;
    BoardSoundEvent("open client=%d mode=%d rate=%d ch=%d queued", gsnd_save.id, mode, rate, ch);
    return dbg.result(gsnd_save.id);
  }
  dumpHandle(&gsnd, false);
  if ((gsnd.mode & kSoundModeFm) && mode == 1) {
    LOGW("sound busy! snd->mode=%d\n", static_cast<int>(gsnd.mode));
    return dbg.result(-1);
  }
  if (gsnd.id != 0) {
    LOGE("sound busy, app pid=%d, id=%d\n", gsnd.pid, gsnd.id);
    return dbg.result(-2);
  }
  int fd = openDevice(m, rate, ch);
  if (fd < 0) {
    resetHandle(&gsnd);
    return dbg.result(-1);
  }
  gsnd.fd = fd;
  gsnd.id = newId();
  gsnd.pid = getpid();
  gsnd.fmt = kFmt;
  gsnd.ch = ch;
  gsnd.rate = rate;
  gsnd.mode |= m;
  if (mode == 1) computeBudget(&gsnd);
  BoardSoundEvent("open client=%d fd=%d mode=%d rate=%d ch=%d", gsnd.id, fd, mode, rate, ch);
  return dbg.result(gsnd.id);
}

int sound_close(int id) {
  DebugScope dbg("sound_close");
  std::scoped_lock lock(g_mutex);
  if (gsnd.is_insert) {
    if (id != 0 && gsnd_save.id == id) {
      // Not restored at the hand-back; the slot is free for a new main
      // client, which clears gcreq again when it opens.
      gcreq = 1;
      resetHandle(&gsnd_save);
      BoardSoundEvent("close client=%d pre-empted", id);
    }
    return 0;
  }
  if (id == 0 || gsnd.id != id || gsnd.fd == -1) return 0;
  if ((gsnd.mode & 0xff) == 1) drain(&gsnd);
  BoardDspClose(gsnd.fd);
  BoardSoundEvent("close client=%d fd=%d", id, gsnd.fd);
  resetHandle(&gsnd);
  return 0;
}

int sound_set(int id, int rate, int ch) {
  DebugScope dbg("sound_set");
  std::scoped_lock lock(g_mutex);
  if (gsnd.is_insert) {
    if (id == 0 || gsnd_save.id != id || gsnd_save.fd == -1) {
      LOGE("sound_set error!id = %d, snd_save->id=%d, snd_save->fd=%d\n", id, gsnd_save.id, gsnd_save.fd);
      return dbg.result(-2);
    }
    if (rate <= 0 || (ch != 1 && ch != 2)) return dbg.result(-1);
    gsnd_save.fmt = kFmt;
    gsnd_save.ch = ch;
    gsnd_save.rate = rate;
    BoardSoundEvent("set client=%d rate=%d ch=%d saved", id, rate, ch);
    return dbg.result(0);
  }
  if (id == 0 || gsnd.id != id || gsnd.fd == -1) {
    LOGE("sound_set error! snd->id=%d, snd->fd=%d\n", gsnd.id, gsnd.fd);
    return dbg.result(-2);
  }
  if (applyParams(rate, ch) != 0) return dbg.result(-1);
  BoardSoundEvent("set client=%d rate=%d ch=%d", id, rate, ch);
  return dbg.result(0);
}

int sound_write(int id, void *buf, int len) {
  if (!buf || len < 0) return -1;
  std::scoped_lock lock(g_mutex);
  if (id != gsnd.id || gsnd.is_insert) {
    BoardSoundEvent("write client=%d result=-2", id);
    return -2;
  }
  // A fading client's samples are scaled in a copy: a write the device
  // refuses is offered again unchanged.
  const int fade = g_fade.load();
  if (fade < kFadeFull) {
    static std::vector<int16_t> faded;  // guarded by g_mutex
    faded.resize((static_cast<size_t>(len) + 1) / 2);
    std::memcpy(faded.data(), buf, static_cast<size_t>(len));
    for (int16_t &v : faded) v = static_cast<int16_t>(v * fade / kFadeFull);
    buf = faded.data();
  }
  int r = writeLive(buf, len, false);
  if (r == -1) BoardSoundEvent("write client=%d result=-1", id);
  return r;
}

void sound_fade(int permille) { g_fade = std::clamp(permille, 0, kFadeFull); }

int sound_iwrite(int id, void *buf, int len) {
  if (!buf || len < 0) return -1;
  std::scoped_lock lock(g_mutex);
  if (id != gsnd.id || !gsnd.is_insert) {
    BoardSoundEvent("iwrite client=%d result=-2", id);
    return -2;
  }
  int r = writeLive(buf, len, true);
  if (r == -1) BoardSoundEvent("iwrite client=%d result=-1", id);
  return r;
}

int sound_read(int id, void *buf, int len) {
  if (!buf || len < 0) return -1;
  std::scoped_lock lock(g_mutex);
  if (id != gsnd.id || gsnd.is_insert) {
    BoardSoundEvent("read client=%d result=-2", id);
    return -2;
  }
  if (gsnd.fd == -1) return -1;
  return BoardDspRead(gsnd.fd, buf, len);
}

int sound_iread(int id, void *buf, int len) {
  if (!buf || len < 0) return -1;
  std::scoped_lock lock(g_mutex);
  if (id != gsnd.id || !gsnd.is_insert) {
    BoardSoundEvent("iread client=%d result=-2", id);
    return -2;
  }
  if (gsnd.fd == -1) return -1;
  return BoardDspRead(gsnd.fd, buf, len);
}

int sound_setvol(int id, int play_step, int rec_step) {
  std::scoped_lock lock(g_mutex);
  return snd_set_volume(play_step, rec_step);
}

int sound_iopen(int mode, int rate, int ch) {
  DebugScope dbg("sound_iopen");
  std::scoped_lock lock(g_mutex);
  if (!validParams(mode, rate, ch)) return dbg.result(-1);
  auto m = static_cast<unsigned>(mode);
  // The insert cuts off what plays now (a player's music, a prompt): what
  // the device still holds of it is dropped, not waited for.
  discard(&gsnd);
  if (!gsnd.is_insert) {
    gsnd_save = gsnd;
    gcreq = 0;
    gsnd.is_insert = 1;
    if (gsnd.mode & kSoundModeFm) SetDacOut();
  }
  dumpHandle(&gsnd_save, true);
  int fd = gsnd.fd;
  if (fd != -1 && (gsnd.mode & 0xff) == m) {
    // Same direction: keep the descriptor, with this client's format.
    int r = BoardDspSetParams(fd, rate, ch);
    if (r < 0) {
      logParamError(r == -1 ? -2 : r, rate, ch);
      BoardDspClose(fd);
      fd = -1;
    }
  } else {
    if (fd != -1) BoardDspClose(fd);
    fd = openDevice(m, rate, ch);
  }
  if (fd < 0) {
    gsnd.fd = -1;
    BoardSoundEvent("iopen mode=%d rate=%d ch=%d result=-1", mode, rate, ch);
    restore();
    return dbg.result(-1);
  }
  gsnd.fd = fd;
  gsnd.id = newId();
  gsnd.pid = getpid();
  gsnd.fmt = kFmt;
  gsnd.mode = m;
  gsnd.ch = ch;
  gsnd.rate = rate;
  if (mode == 1) computeBudget(&gsnd);
  BoardSoundEvent("iopen client=%d fd=%d mode=%d rate=%d ch=%d", gsnd.id, fd, mode, rate, ch);
  return dbg.result(gsnd.id);
}

int sound_iclose(int id) {
  DebugScope dbg("sound_iclose");
  std::scoped_lock lock(g_mutex);
  if (id == 0 || gsnd.id != id || !gsnd.is_insert) return dbg.result(0);
  if (gsnd.fd != -1) {
    if ((gsnd.mode & 0xff) == 1) drain(&gsnd);
    BoardDspClose(gsnd.fd);
  }
  BoardSoundEvent("iclose client=%d fd=%d", id, gsnd.fd);
  gsnd.fd = -1;
  return dbg.result(restore());
}

int sound_discard(int id) {
  std::scoped_lock lock(g_mutex);
  if (id == 0 || gsnd.id != id) return -2;
  if (gsnd.fd == -1 || (gsnd.mode & 0xff) != 1) return -1;
  return BoardDspReset(gsnd.fd) == 0 ? 0 : -1;
}

int sound_iset(int id, int rate, int ch) {
  DebugScope dbg("sound_iset");
  std::scoped_lock lock(g_mutex);
  if (id == 0 || gsnd.id != id || gsnd.fd == -1 || !gsnd.is_insert) {
    LOGE("sound_set error! id = %d, snd->id=%d, snd->fd=%d\n", id, gsnd.id, gsnd.fd);
    return dbg.result(-2);
  }
  if (applyParams(rate, ch) != 0) return dbg.result(-1);
  BoardSoundEvent("iset client=%d rate=%d ch=%d", id, rate, ch);
  return dbg.result(0);
}

int sound_open_fm(void) {
  DebugScope dbg("sound_open_fm");
  std::scoped_lock lock(g_mutex);
  if (gsnd.is_insert) {
    if (gsnd_save.mode != 0) {
      LOGW("sound busy! snd_save->mode=%d\n", static_cast<int>(gsnd_save.mode));
      return dbg.result(-1);
    }
    gsnd_save.mode = kSoundModeFm;
    BoardSoundEvent("fm open saved");
    return dbg.result(0);
  }
  if (gsnd.mode != 0) {
    LOGW("sound busy! snd->mode=%d\n", static_cast<int>(gsnd.mode));
    return dbg.result(-1);
  }
  gsnd.mode = kSoundModeFm;
  SetFmOut();
  BoardSoundEvent("fm open");
  return dbg.result(0);
}

int sound_close_fm(void) {
  DebugScope dbg("sound_close_fm");
  std::scoped_lock lock(g_mutex);
  if (gsnd.is_insert) {
    gsnd_save.mode &= ~kSoundModeFm;
  } else {
    gsnd.mode &= ~kSoundModeFm;
    SetDacOut();
  }
  BoardSoundEvent("fm close");
  return 0;
}

void SoundGetHandles(SoundHandle *live, SoundHandle *saved) {
  std::scoped_lock lock(g_mutex);
  if (live) *live = gsnd;
  if (saved) *saved = gsnd_save;
}

// ---- Routing ----

int SetOutToHead(void) { return routing().toHead(); }
int SetOutToSpeak(void) { return routing().toSpeak(); }

int AutoSetHead(void) { return routing().autoHead(); }
int RevAmpEn(void) { return routing().revAmp(); }

int SetDacOut(void) { return routing().dacOut(); }
int SetFmOut(void) { return routing().fmOut(); }
int SetFmRecord(void) { return routing().fmRecord(); }
int SetMicRecord(void) { return routing().micRecord(); }
int SetExtMicRecord(void) { return routing().extMicRecord(); }
int SetLineRecord(void) { return routing().lineRecord(); }

int VolumeSetMain(int which) {
  int step = which == -1 ? MainVolume : PromptVolume;
  if (sound_setvol(0, step, -1) != 0) {
    LOGW("sound_setvol return error: volume = %d", step);
    return -1;
  }
  return 0;
}
