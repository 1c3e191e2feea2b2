// core/runtime/vkey.h: the virtual-key server. Other processes of the device report
// card, USB-cable and USB-disk events by sending one word (text and a
// terminating zero, at most 1024 bytes, one connection per message) to TCP
// port BoardVkeyPort() on the loopback address; the server updates the card
// and USB state and queues the matching key.
#pragma once

#include <atomic>
#include <thread>

struct VkeyServer {
  int listenFd = -1;
  int port = 0;
  int readTimeoutMs = 500;  // longest a client may take over its message
  std::thread thread;
  std::atomic<bool> stop{false};
};

// Binds the loopback address at BoardVkeyPort() and starts the server
// thread. Returns 0, -1 when the socket cannot be set up or the thread not
// started.
int InitVkey(VkeyServer *ctx);

// Stops and joins the server thread and closes its socket. Returns 0.
int DeInitVkey(VkeyServer *ctx);

// What the server does with one message: compares the text (up to its
// terminating zero or len bytes) with the hot-plug words, updates the state
// and queues the key. Returns the key code queued, or 0.
int VkeyHandleMessage(const char *msg, int len);

// Sends text and its terminating zero to the server. Returns 0, or -1 when
// no socket could be created.
int VkeyClientSend(const char *text);
void ClientTest(void);

// The USB delay: after "usb_plug_in" the charging announcement waits
// CfgUsbDelay x 10 ms and is dropped when the cable turned out to be a host
// connection. InitUsbDelay may be called from any thread.
void InitUsbDelay(void);
int UsbDelayCallback(void *arg, int flag);

// The memory card probe: -1 nothing mounted at "/mnt/sdcard", 0 mounted but
// "/dev/mmcblk1p1" is no block device (a card without partition table), 1
// mounted with a partition.
int TestSdcard(void);
void InitSdcardStatus(void);

// The state the server keeps, read from any thread: the last card probe,
// 1 when the card was reported as exFAT, and the USB state (0 none, 1 power
// only, 3 host connection, 7 USB disk attached).
int GetSdcardStatus(void);
int GetSdFsExfat(void);
int GetUsbStatus(void);

// Back to the start-up state (no card probed, no USB); for tests.
void VkeyResetState(void);
