// The virtual-key server: one thread accepting connections on the loopback
// address, one message per connection, and the card and USB state it keeps.
//
// Threads: the server thread writes the state (atomics, read by screens on
// the key thread and by the USB delay timer on the main loop) and re-arms
// the USB delay timer; the record is only written while it is unlinked (see
// core/runtime/loop.cpp), and g_usbMutex keeps two re-arms from interleaving.
//
// A client gets no answer, only its message read: up to 1024 bytes, until
// the terminating zero, the end of the connection or readTimeoutMs after it
// connected. The server waits on all its clients at once (poll), so a client
// that never sends or never closes delays no one: it only holds one of
// kMaxClients places until its time is up, and when every place is taken
// the oldest client is dropped for the newest. Whatever a client sends, the
// server logs the text and goes on.
#include "core/runtime/vkey.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/gpio.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/vkey.c";
constexpr int kMaxMessage = 1024;
constexpr int kBacklog = 64;
constexpr int kMaxClients = 16;

enum { kUsbNone = 0, kUsbPower = 1, kUsbHost = 3, kUsbDisk = 7 };

std::atomic<int> sdcard_status{-1};
std::atomic<int> sd_fs_exfat{0};
std::atomic<int> usb_status{kUsbNone};

std::mutex g_usbMutex;
Event g_usbDelay = EVENT_INIT_SELF(g_usbDelay);

const char *const kCharging[] = {"正在充电中...", "Charging..."};

void queueKey(int code) {
  KeyEvent e{KEY_TYPE_PRESS, code};
  if (KeyBufferWriteNoWait(gKeyBuffer, &e) != 0) LOGW("KeyBufferWriteNoWait return error\n");
}

int probeCard() {
  int s = TestSdcard();
  sdcard_status = s;
  if (CfgDebugKey) {
    if (s < 0) LOGI("--- no sdcard insert!\n");
    else if (s == 0) LOGI("--- sd card with no partation insert!\n");
    else LOGI("--- sd csrd with paration!\n");
  }
  return s;
}

int64_t nowMs() { return BoardMonotonicUs() / 1000; }

// The message as it may go to the console: up to its zero, control bytes
// shown as "?".
void printMessage(const char *msg, int len) {
  char shown[kMaxMessage + 1];
  int n = 0;
  for (; n < len && msg[n]; n++) {
    unsigned char c = static_cast<unsigned char>(msg[n]);
    shown[n] = c < 0x20 || c == 0x7f ? '?' : msg[n];
  }
  std::printf("\033[44;32m%.*s\033[0m\n", n, shown);
  std::fflush(stdout);
}

// One connection and what it has sent so far.
struct Client {
  int fd = -1;
  int64_t deadline = 0;
  int got = 0;  // -1 after a read error with nothing read
  bool done = false;
  char buf[kMaxMessage];
};

// Reads what the client has sent without waiting; done at its zero byte,
// the end of the connection, a full buffer or a read error.
void readSome(Client *c) {
  for (;;) {
    ssize_t n = recv(c->fd, c->buf + c->got, static_cast<size_t>(kMaxMessage - c->got), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0) {
      if (c->got == 0) c->got = -1;
    } else if (n > 0) {
      bool ended = std::memchr(c->buf + c->got, '\0', static_cast<size_t>(n)) != nullptr;
      c->got += static_cast<int>(n);
      if (!ended && c->got < kMaxMessage) continue;
    }
    c->done = true;
    return;
  }
}

// Closes the connection and acts on its message.
void finish(VkeyServer *ctx, Client *c) {
  close(c->fd);
  c->fd = -1;
  if (c->got < 0) {
    std::printf("read socket error\n");
    return;
  }
  printMessage(c->buf, c->got);
  if (!ctx->stop) VkeyHandleMessage(c->buf, c->got);
}

// Takes every connection waiting; at kMaxClients the oldest client goes.
void acceptAll(VkeyServer *ctx, std::vector<std::unique_ptr<Client>> *clients) {
  for (;;) {
    int fd = accept4(ctx->listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      // None left, or gone before it was accepted, or the listening socket
      // is being closed: back to waiting.
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) std::printf("accept a error socket\n");
      return;
    }
    if (clients->size() >= kMaxClients) {
      LOGW("vkey: too many clients, dropping the oldest\n");
      close(clients->front()->fd);
      clients->erase(clients->begin());
    }
    auto c = std::make_unique<Client>();
    c->fd = fd;
    c->deadline = nowMs() + ctx->readTimeoutMs;
    clients->push_back(std::move(c));
  }
}

void serve(VkeyServer *ctx) {
  if (CfgDebugKey) LOGI("VkeyServerThread start!\n");
  std::vector<std::unique_ptr<Client>> clients;  // oldest first
  std::vector<pollfd> fds;
  while (!ctx->stop) {
    int64_t now = nowMs();
    // Without clients nothing is due: sleep until a connection comes (the
    // stop request is one).
    int wait = -1;
    fds.assign(1, pollfd{ctx->listenFd, POLLIN, 0});
    for (const auto &c : clients) {
      fds.push_back(pollfd{c->fd, POLLIN, 0});
      const auto left = static_cast<int>(std::clamp<int64_t>(c->deadline - now, 0, INT32_MAX));
      wait = wait < 0 ? left : std::min(wait, left);
    }
    int r = poll(fds.data(), fds.size(), wait);
    if (r < 0 && errno != EINTR) LOGW("vkey poll error:%s\n", std::strerror(errno));
    // Clients first (in the order they came), then new connections.
    now = nowMs();
    for (size_t i = 0; i < clients.size(); i++) {
      Client *c = clients[i].get();
      if (r > 0 && fds[i + 1].revents) readSome(c);
      if (c->done || now >= c->deadline) finish(ctx, c);
    }
    std::erase_if(clients, [](const auto &c) { return c->fd < 0; });
    if (r > 0 && fds[0].revents) acceptAll(ctx, &clients);
  }
  for (const auto &c : clients) close(c->fd);
  if (CfgDebugKey) LOGI("VkeyServerThread stop!\n");
}

int sendTo(int port, const char *text) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::printf("create socket error\n");
    return -1;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr) <= 0) {
    LOGE("inte_pton error for %s\n", "127.0.0.1");
  } else if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    LOGE("connect error:%s!\n", std::strerror(errno));
  } else if (send(fd, text, std::strlen(text) + 1, MSG_NOSIGNAL) < 0) {
    LOGE("connect error:%s!\n", std::strerror(errno));
  }
  close(fd);
  return 0;
}

}  // namespace

int VkeyHandleMessage(const char *msg, int len) {
  if (!msg || len <= 0) return 0;
  std::string_view word(msg, strnlen(msg, static_cast<size_t>(len)));
  int key = 0;
  if (word == "tf_card_in_exfat") {
    sd_fs_exfat = probeCard() != -1 ? 1 : 0;
    key = VKEY_SDIN;
  } else if (word == "tf_card_in") {
    sd_fs_exfat = 0;
    probeCard();
    key = VKEY_SDIN;
  } else if (word == "tf_card_out") {
    sdcard_status = -1;
    sd_fs_exfat = 0;
    key = VKEY_SDOUT;
  } else if (word == "usb_plug_in") {
    usb_status = kUsbPower;
    InitUsbDelay();
  } else if (word == "usb_plug_out") {
    int was = usb_status.exchange(kUsbNone);
    SetChargeLow();
    if (was == kUsbHost) key = VKEY_USBOUT;
  } else if (word == "usb_config") {
    if (usb_status.exchange(kUsbHost) != kUsbHost) {
      SetChargeLow();
      key = VKEY_USBIN;
    }
  } else if (word == "usb_suspend") {
    LOGW("err statue: usb_suspend.\n");
  } else if (word == "usb_disk_in") {
    usb_status = kUsbDisk;
    key = VKEY_USBDISKIN;
  } else if (word == "usb_disk_out") {
    usb_status = kUsbNone;
    key = VKEY_USBDISKOUT;
  }
  if (key) queueKey(key);
  return key;
}

int InitVkey(VkeyServer *ctx) {
  if (!ctx) return -1;
  ctx->port = BoardVkeyPort();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    LOGW("create socket error\n");
    return -1;
  }
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // Only this device's own processes may send keys: the loopback address.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(ctx->port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    LOGW("Failed to bind port %d\n", ctx->port);
    close(fd);
    return -1;
  }
  if (listen(fd, kBacklog) != 0) {
    LOGW("listen socket port %d error\n", ctx->port);
    close(fd);
    return -1;
  }
  ctx->listenFd = fd;
  ctx->stop = false;
  try {
    ctx->thread = std::thread(serve, ctx);
  } catch (const std::system_error &) {
    LOGW("vkey can't creat thread\n");
    shutdown(fd, SHUT_RDWR);
    close(fd);
    ctx->listenFd = -1;
    return -1;
  }
  return 0;
}

int DeInitVkey(VkeyServer *ctx) {
  if (!ctx) return 0;
  if (ctx->thread.joinable()) {
    ctx->stop = true;
    // The connection wakes the server; should it fail, shutting the
    // listening socket down does too.
    sendTo(ctx->port, "exit");
    shutdown(ctx->listenFd, SHUT_RDWR);
    ctx->thread.join();
  }
  if (ctx->listenFd >= 0) {
    shutdown(ctx->listenFd, SHUT_RDWR);
    close(ctx->listenFd);
  }
  ctx->listenFd = -1;
  return 0;
}

int VkeyClientSend(const char *text) { return sendTo(BoardVkeyPort(), text ? text : ""); }

void ClientTest(void) {
  std::this_thread::sleep_for(std::chrono::seconds(1));
  VkeyClientSend("ClientTest");
}

void InitUsbDelay(void) {
  std::scoped_lock lock(g_usbMutex);
  EventDel(&g_usbDelay);
  g_usbDelay.flag = EVENT_TIMER;
  g_usbDelay.timeout = CfgUsbDelay * 10000;
  g_usbDelay.callback = UsbDelayCallback;
  g_usbDelay.arg = &g_usbDelay;
  EventAdd(&g_usbDelay);
}

int UsbDelayCallback(void *arg, int flag) {
  if (usb_status == kUsbPower) {
    text_sound_insert(kCharging[PromptLanguage()]);
    SetChargeHigh();
  }
  return 0;
}

int TestSdcard(void) {
  if (BoardIsMountPoint("/mnt/sdcard") != 1) return -1;
  return BoardIsBlockDevice("/dev/mmcblk1p1") ? 1 : 0;
}

void InitSdcardStatus(void) { sdcard_status = TestSdcard(); }

int GetSdcardStatus(void) { return sdcard_status; }
int GetSdFsExfat(void) { return sd_fs_exfat; }
int GetUsbStatus(void) { return usb_status; }

void VkeyResetState(void) {
  sdcard_status = -1;
  sd_fs_exfat = 0;
  usb_status = kUsbNone;
  std::scoped_lock lock(g_usbMutex);
  EventDel(&g_usbDelay);
}
