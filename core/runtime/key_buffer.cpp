// The key ring buffer and the key names. A tail write always leaves two slots
// free, so one write at the head fits even when the tail writers have filled
// the buffer.
#include "core/runtime/key.h"

#include "core/runtime/config.h"
#include "core/runtime/log.h"

#include <new>

namespace {

constexpr char kLogSource[] = "core/key.c";

int next(const KeyBuffer *b, int i) { return i + 1 >= b->len ? 0 : i + 1; }

// Caller holds the mutex.
bool tailFits(const KeyBuffer *b) {
  int n1 = next(b, b->wr);
  return n1 != b->rd && next(b, n1) != b->rd;
}

bool headFits(const KeyBuffer *b) {
  int before = b->rd == 0 ? b->len - 1 : b->rd - 1;
  return before != b->wr;
}

void putTail(KeyBuffer *b, const KeyEvent *e) {
  b->keys[b->wr] = *e;
  b->wr = next(b, b->wr);
}

void putHead(KeyBuffer *b, const KeyEvent *e) {
  b->rd = b->rd == 0 ? b->len - 1 : b->rd - 1;
  b->keys[b->rd] = *e;
}

void trace(const char *op, const KeyBuffer *b, const KeyEvent *e) {
  if (!CfgDebugKey) return;
  if (e) LOGD("%s: wr=%d, rd=%d, kcode=%s, ktype=%d\n", op, b->wr, b->rd, KeyGetName(e->code), e->type);
  else LOGD("%s: wr=%d, rd=%d, len=%d\n", op, b->wr, b->rd, b->len);
}

}  // namespace

KeyBuffer *gKeyBuffer = nullptr;

const char *KeyGetName(int code) {
  switch (code) {
    case 256: return "MENU";
    case 257: return "";
    case 258: return "VOL-";
    case 259: return "ESC";
    case 260: return "RECORD";
    case 261: return "UP";
    case 262: return "DOWN";
    case 263: return "LEFT";
    case 264: return "RIGHT";
    case 265: return "OK";
    case 273: return "AUDIOEND";
    case 274: return "EBOOKEND";
    case 275: return "DAISYEND";
    case 277: return "SDIN";
    case 278: return "SDOUT";
    case 279: return "USBDISKIN";
    case 288: return "USBDISKOUT";
    case 289: return "USBIN";
    case 290: return "USBOUT";
    case 291: return "POWEROFF";
    case 304: return "MARK";
    case 305: return "VOL+";
    case 306: return "MP3";
    case 307: return "FM";
    case 309: return "HPDET";
    case 310: return "WIFIWAKEUP";
    case 311: return "USBOC";
    case 312: return "BTWAKEUP";
    default: return "ERROR";
  }
}

KeyBuffer *KeyBufferInit(int length) {
  if (length < 4) return nullptr;
  KeyBuffer *b = new (std::nothrow) KeyBuffer;
  if (!b) return nullptr;
  b->keys = new (std::nothrow) KeyEvent[length];
  if (!b->keys) {
    delete b;
    return nullptr;
  }
  b->len = length;
  return b;
}

int KeyBufferDeInit(KeyBuffer *buf) {
  if (buf) delete[] buf->keys;
  delete buf;
  return 0;
}

int KeyBufferRead(KeyBuffer *buf, KeyEvent *event) {
  if (!buf || !event) return -1;
  std::unique_lock lock(buf->mutex);
  trace("KeyBufferRead[in]", buf, nullptr);
  while (buf->wr == buf->rd && !buf->exit && !buf->wake) buf->cond.wait(lock);
  if (buf->exit) return -1;
  // The reader runs posted work after every read, so one return, with or
  // without a key, answers every wake-up so far.
  bool woken = buf->wake;
  buf->wake = 0;
  if (buf->wr == buf->rd && woken) return 1;
  *event = buf->keys[buf->rd];
  buf->rd = next(buf, buf->rd);
  trace("KeyBufferRead[out]", buf, event);
  buf->cond.notify_all();
  return 0;
}

int KeyBufferWriteNoWait(KeyBuffer *buf, const KeyEvent *event) {
  if (!buf || !event) return -1;
  std::scoped_lock lock(buf->mutex);
  trace("KeyBufferWriteNoWait[in]", buf, event);
  if (buf->exit || !tailFits(buf)) return -1;
  putTail(buf, event);
  trace("KeyBufferWriteNoWait[out]", buf, nullptr);
  buf->cond.notify_all();
  return 0;
}

int KeyBufferWriteToHeadNoWait(KeyBuffer *buf, const KeyEvent *event) {
  if (!buf || !event) return -1;
  std::scoped_lock lock(buf->mutex);
  trace("KeyBufferWriteToHeadNoWait[in]", buf, event);
  if (buf->exit || !headFits(buf)) return -1;
  putHead(buf, event);
  trace("KeyBufferWriteToHeadNoWait[out]", buf, nullptr);
  buf->cond.notify_all();
  return 0;
}

int KeyBufferWrite(KeyBuffer *buf, const KeyEvent *event) {
  if (!buf || !event) return -1;
  std::unique_lock lock(buf->mutex);
  trace("KeyBufferWrite[in]", buf, event);
  while (!buf->exit && !tailFits(buf)) buf->cond.wait(lock);
  if (buf->exit) return -1;
  putTail(buf, event);
  trace("KeyBufferWrite[out]", buf, nullptr);
  buf->cond.notify_all();
  return 0;
}

int KeyBufferWriteToHead(KeyBuffer *buf, const KeyEvent *event) {
  if (!buf || !event) return -1;
  std::unique_lock lock(buf->mutex);
  trace("KeyBufferWriteToHead[in]", buf, event);
  while (!buf->exit && !headFits(buf)) buf->cond.wait(lock);
  if (buf->exit) return -1;
  putHead(buf, event);
  trace("KeyBufferWriteToHead[out]", buf, nullptr);
  buf->cond.notify_all();
  return 0;
}

int KeyBufferWake(KeyBuffer *buf) {
  if (!buf) return -1;
  std::scoped_lock lock(buf->mutex);
  buf->wake = 1;
  buf->cond.notify_all();
  return 0;
}

int KeyBufferClean(KeyBuffer *buf) {
  if (!buf) return -1;
  std::scoped_lock lock(buf->mutex);
  buf->wr = buf->rd = 0;
  buf->cond.notify_all();
  return 0;
}

int KeyBufferSetExit(KeyBuffer *buf, int flag) {
  if (!buf) return -1;
  std::scoped_lock lock(buf->mutex);
  buf->exit = flag;
  buf->cond.notify_all();
  return 0;
}

void SendVKey(int code) {
  KeyEvent e{KEY_TYPE_PRESS, code};
  if (KeyBufferWriteNoWait(gKeyBuffer, &e) != 0) LOGW("KeyBufferWriteNoWait return error\n");
}

void SendVkeyHead(int code) {
  KeyEvent e{KEY_TYPE_PRESS, code};
  if (KeyBufferWriteToHeadNoWait(gKeyBuffer, &e) != 0) LOGW("KeyBufferWriteToHeadNoWait return error\n");
}

int KeyDecodeEvent(const unsigned char *d, int len, int *type, int *code, int *value) {
  if (!d || len != 16) return -1;
  // Bytes 0..7 are the event's time, not used.
  *type = d[8] | d[9] << 8;
  *code = d[10] | d[11] << 8;
  *value = static_cast<int>(static_cast<uint32_t>(d[12]) | static_cast<uint32_t>(d[13]) << 8 |
                            static_cast<uint32_t>(d[14]) << 16 | static_cast<uint32_t>(d[15]) << 24);
  return 0;
}
