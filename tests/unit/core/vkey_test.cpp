// The virtual-key server: the hot-plug words, the USB and card state, and a
// server that keeps serving whatever arrives on its socket.
#include "core/runtime/vkey.h"

#include "board/board.h"
#include "cfgtest_support.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/key.h"
#include "core/runtime/loop.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using cfgtest::Transcript;

class Vkey : public ::testing::Test {
 protected:
  void SetUp() override {
    VkeyResetState();
    buf_ = KeyBufferInit(32);
    gKeyBuffer = buf_;
    MLanguageSetting = 1;
  }
  void TearDown() override {
    DeInitVkey(&server_);
    VkeyResetState();
    gKeyBuffer = nullptr;
    KeyBufferDeInit(buf_);
    MLanguageSetting = 0;
  }

  int Word(const char *w) { return VkeyHandleMessage(w, static_cast<int>(std::strlen(w)) + 1); }

  // A raw client: connects and hands back the socket.
  int Connect() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(BoardVkeyPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    return fd;
  }

  void SendRaw(const std::string &bytes) {
    int fd = Connect();
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    close(fd);
  }

  TempRoot root_;
  KeyBuffer *buf_ = nullptr;
  VkeyServer server_;
};

TEST_F(Vkey, WordsChangeTheStateAndQueueKeys) {
  struct {
    const char *word;
    int key, usb;
  } steps[] = {
      {"usb_plug_in", 0, 1},
      {"usb_plug_out", 0, 0},  // power only: no key
      {"usb_plug_in", 0, 1},
      {"usb_config", VKEY_USBIN, 3},
      {"usb_config", 0, 3},  // once
      {"usb_suspend", 0, 3},
      {"usb_plug_out", VKEY_USBOUT, 0},
      {"usb_disk_in", VKEY_USBDISKIN, 7},
      {"usb_disk_out", VKEY_USBDISKOUT, 0},
      {"usb_config", VKEY_USBIN, 3},
      {"exit", 0, 3},
      {"ClientTest", 0, 3},
      {"usb_config\n", 0, 3},
      {"USB_DISK_IN", 0, 3},
      {"", 0, 3},
  };
  for (const auto &s : steps) {
    EXPECT_EQ(Word(s.word), s.key) << s.word;
    EXPECT_EQ(GetUsbStatus(), s.usb) << s.word;
  }
  std::vector<int> want = {VKEY_USBIN, VKEY_USBOUT, VKEY_USBDISKIN, VKEY_USBDISKOUT, VKEY_USBIN};
  EXPECT_EQ(cfgtest::DrainCodes(buf_), want);
  EXPECT_EQ(root_.read("/dev/charg_set"), "1 1\n");  // low current on configuration and removal
}

TEST_F(Vkey, CardWordsProbeTheCard) {
  EXPECT_EQ(Word("tf_card_in"), VKEY_SDIN);  // nothing mounted: still reported
  EXPECT_EQ(GetSdcardStatus(), -1);
  EXPECT_EQ(Word("tf_card_in_exfat"), VKEY_SDIN);
  EXPECT_EQ(GetSdFsExfat(), 0);
  root_.write("/proc/mounts", "/dev/mmcblk0p1 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1 /mnt/sdcard vfat rw 0 0\n");
  EXPECT_EQ(Word("tf_card_in_exfat"), VKEY_SDIN);
  EXPECT_EQ(GetSdcardStatus(), 0);
  EXPECT_EQ(GetSdFsExfat(), 1);
  root_.write("/dev/mmcblk1p1", "");
  EXPECT_EQ(Word("tf_card_in"), VKEY_SDIN);
  EXPECT_EQ(GetSdcardStatus(), 1);
  EXPECT_EQ(GetSdFsExfat(), 0);
  EXPECT_EQ(Word("tf_card_out"), VKEY_SDOUT);
  EXPECT_EQ(GetSdcardStatus(), -1);
  EXPECT_EQ(cfgtest::DrainCodes(buf_).size(), 5u);
}

TEST_F(Vkey, CardProbeReadsTheMountTable) {
  struct {
    const char *mounts;
    bool partition;
    int want;
  } cases[] = {
      {nullptr, true, -1},
      {"/dev/mmcblk0p1 /mnt/emmc vfat rw 0 0\n", true, -1},
      {"/dev/x /mnt/sdcard/sub vfat rw 0 0\n", true, -1},
      {"/dev/mmcblk1 /mnt/sdcard vfat rw 0 0\n", false, 0},
      {"/dev/mmcblk1p1 /mnt/sdcard exfat rw 0 0\n", true, 1},
      {"/mnt/sdcard\n", true, 1},
  };
  for (const auto &c : cases) {
    TempRoot root;
    if (c.mounts) root.write("/proc/mounts", c.mounts);
    if (c.partition) root.write("/dev/mmcblk1p1", "");
    EXPECT_EQ(TestSdcard(), c.want) << (c.mounts ? c.mounts : "(no table)");
  }
}

TEST_F(Vkey, ChargingIsAnnouncedOnlyForPowerWithoutAHost) {
  Word("usb_plug_in");
  UsbDelayCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"Charging..."}));
  EXPECT_EQ(root_.read("/dev/charg_set"), "1 0\n");  // high current

  Word("usb_plug_in");
  Word("usb_config");
  UsbDelayCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(Transcript().size(), 1u);
  EXPECT_EQ(root_.read("/dev/charg_set"), "1 1\n");
}

TEST_F(Vkey, ServerTurnsMessagesIntoKeys) {
  server_.readTimeoutMs = 200;
  ASSERT_EQ(InitVkey(&server_), 0);
  KeyEvent e;
  ASSERT_EQ(VkeyClientSend("usb_disk_in"), 0);
  ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
  EXPECT_EQ(e.code, VKEY_USBDISKIN);
  EXPECT_EQ(e.type, KEY_TYPE_PRESS);
  SendRaw("tf_card_out");  // no terminating zero: the bytes read count
  ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
  EXPECT_EQ(e.code, VKEY_SDOUT);
}

TEST_F(Vkey, ServerShrugsOffBadClients) {
  server_.readTimeoutMs = 150;
  ASSERT_EQ(InitVkey(&server_), 0);
  // Each batch ends with a word whose key paces the next batch, so that no
  // connection has to wait for room in the kernel's backlog.
  auto batchThenWord = [&](const std::vector<std::string> &batch, int n) {
    for (const std::string &bytes : batch) SendRaw(bytes);
    SendRaw(std::string(n % 2 ? "usb_disk_out" : "usb_disk_in") + '\0');
    KeyEvent e;
    ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
    EXPECT_EQ(e.code, n % 2 ? VKEY_USBDISKOUT : VKEY_USBDISKIN);
  };
  batchThenWord({std::string(5000, 'a'),                           // longer than a message
                 std::string("\x1b[2J\x01\xff garbage\0usb", 17),  // control bytes
                 "usb_disk_in\n",                                  // not the word
                 ""},                                              // nothing at all
                0);
  for (int n = 1; n <= 5; n++) batchThenWord(std::vector<std::string>(7, "flood"), n);  // a flood
  int idle = Connect();  // connects and never says a word
  int slow = Connect();  // half a word, then silence
  send(slow, "usb_con", 7, MSG_NOSIGNAL);
  SendRaw(std::string("usb_disk_in\0trailing", 20));  // the word up to its zero counts
  KeyEvent e;
  ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
  EXPECT_EQ(e.code, VKEY_USBDISKIN);
  pollfd p{idle, POLLIN, 0};  // its time is up: the server hangs up
  EXPECT_EQ(poll(&p, 1, 3000), 1);
  EXPECT_EQ(recv(idle, &e, sizeof e, 0), 0);
  close(idle);
  close(slow);
  EXPECT_FALSE(cfgtest::TakeKey(buf_, &e, 50));
}

TEST_F(Vkey, SilentClientsDelayNoOne) {
  server_.readTimeoutMs = 10000;  // served one at a time, 13 silent clients would hold a word for 130 s
  ASSERT_EQ(InitVkey(&server_), 0);
  std::vector<int> silent;
  for (int i = 0; i < 13; i++) silent.push_back(Connect());
  ASSERT_EQ(VkeyClientSend("tf_card_out"), 0);
  KeyEvent e;
  ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
  EXPECT_EQ(e.code, VKEY_SDOUT);
  // More of them than the server keeps: the oldest make room.
  for (int i = 0; i < 40; i++) silent.push_back(Connect());
  ASSERT_EQ(VkeyClientSend("usb_disk_in"), 0);
  ASSERT_TRUE(cfgtest::TakeKey(buf_, &e, 3000));
  EXPECT_EQ(e.code, VKEY_USBDISKIN);
  for (int fd : silent) close(fd);
}

TEST_F(Vkey, SecondServerOnTheSamePortFails) {
  ASSERT_EQ(InitVkey(&server_), 0);
  VkeyServer other;
  EXPECT_EQ(InitVkey(&other), -1);
  EXPECT_EQ(DeInitVkey(&other), 0);
}

}  // namespace
