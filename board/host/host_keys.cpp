// The host board's key feeder: one thread that turns a script of key lines,
// or the terminal's keys, into board input events on the input pipe, so the
// program's real key reader decodes them as it would on the device.
//
// Script lines (--keys FILE, "-" for standard input; FILE may be a FIFO that
// a test writes while the player runs):
//   KEY              press and release
//   hold KEY MS      press, hold MS milliseconds, release
//   sleep MS         wait
//   hotplug WORD     send WORD to the virtual-key server
//   advance SECONDS  move the wall clock on (timers that count on it)
//   # ...            comment
// --run-for SECONDS ends the run with a 2.5 s hold of the power key.
#include "board/board.h"
#include "board/host/host.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

struct KeyName {
  const char *name;
  int code;
};

// Board key codes by the names scripts use.
constexpr KeyName kKeys[] = {
    {"MENU", 256}, {"BACK", 257}, {"VOLDOWN", 258}, {"ESC", 259},   {"RECORD", 260},
    {"UP", 261},   {"DOWN", 262}, {"LEFT", 263},    {"RIGHT", 264}, {"OK", 265},
    {"MARK", 304}, {"VOLUP", 305}, {"MP3", 306},    {"FM", 307},    {"POWER", 291},
    {"POWEROFF", 291},
};

constexpr int kEvKey = 1;

std::thread g_thread;
std::atomic<bool> g_stop{false};
std::mutex g_mutex;
std::condition_variable g_cond;  // wakes sleeps when stopping
int g_writeFd = -1;
struct termios g_savedTerm;
bool g_termSaved = false;

int codeOf(const std::string &name) {
  for (const KeyName &k : kKeys)
    if (name == k.name) return k.code;
  return -1;
}

// Sleeps up to ms; false when the feeder is being stopped.
bool pause(long ms) {
  std::unique_lock lock(g_mutex);
  return !g_cond.wait_for(lock, std::chrono::milliseconds(ms), [] { return g_stop.load(); });
}

void emit(int code, int value) {
  if (code == 260) BoardHostSetRecordKey(value);  // the record key's pin follows the key
  unsigned char ev[16];
  HostKeysEncode(ev, kEvKey, code, value);
  // The pipe holds thousands of events; a full pipe means nobody reads keys.
  if (write(g_writeFd, ev, sizeof ev) != static_cast<ssize_t>(sizeof ev)) return;
}

void press(int code, long holdMs) {
  emit(code, 1);
  if (holdMs > 0 && !pause(holdMs)) return;
  emit(code, 0);
}

void sendHotplug(const std::string &word) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(BoardVkeyPort()));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
    // One word and its terminating zero per connection.
    if (write(fd, word.c_str(), word.size() + 1) < 0) std::fprintf(stderr, "hotplug %s: write failed\n", word.c_str());
  } else {
    std::fprintf(stderr, "hotplug %s: no virtual-key server on port %d\n", word.c_str(), BoardVkeyPort());
  }
  close(fd);
}

void runLine(const std::string &raw) {
  std::string line = raw.substr(0, raw.find('#'));
  char a[64] = "", b[256] = "";
  long n = 0;
  int fields = std::sscanf(line.c_str(), "%63s %255s %ld", a, b, &n);
  if (fields <= 0) return;
  std::string verb = a;
  if (verb == "sleep" && fields >= 2) {
    pause(std::atol(b));
  } else if (verb == "hold" && fields == 3 && codeOf(b) >= 0) {
    press(codeOf(b), n);
  } else if (verb == "hotplug" && fields >= 2) {
    sendHotplug(b);
  } else if (verb == "advance" && fields >= 2) {
    BoardHostSetClockOffset(BoardHostClockOffset() + std::atol(b));
  } else if (fields == 1 && codeOf(verb) >= 0) {
    press(codeOf(verb), 0);
  } else {
    std::fprintf(stderr, "keys: cannot read line \"%s\"\n", raw.c_str());
  }
}

// Reads lines from fd as they come (a FIFO may deliver them slowly).
void runScript(int fd) {
  std::string pending;
  char buf[512];
  while (!g_stop) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, 100);
    if (r <= 0) continue;
    ssize_t got = read(fd, buf, sizeof buf);
    if (got <= 0) break;  // end of the script
    pending.append(buf, static_cast<size_t>(got));
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos && !g_stop) {
      runLine(pending.substr(0, nl));
      pending.erase(0, nl + 1);
    }
  }
  if (!pending.empty() && !g_stop) runLine(pending);
}

// Terminal keys: arrows, Enter = OK, Esc = ESC, and letters for the rest.
void runTerminal() {
  while (!g_stop) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    unsigned char c;
    if (read(STDIN_FILENO, &c, 1) != 1) return;
    int code = -1;
    long hold = 0;
    switch (c) {
      case 27: {  // Esc alone, or the start of an arrow sequence
        unsigned char seq[2];
        pollfd q{STDIN_FILENO, POLLIN, 0};
        if (poll(&q, 1, 50) > 0 && read(STDIN_FILENO, seq, 2) == 2 && seq[0] == '[') {
          code = seq[1] == 'A' ? 261 : seq[1] == 'B' ? 262 : seq[1] == 'D' ? 263 : seq[1] == 'C' ? 264 : -1;
        } else {
          code = 259;
        }
        break;
      }
      case '\r': case '\n': code = 265; break;
      case 'm': code = 256; break;
      case 'b': code = 257; break;
      case 'r': code = 260; break;
      case 'k': code = 304; break;
      case '+': case '=': code = 305; break;
      case '-': code = 258; break;
      case 'u': code = 306; break;                 // music key
      case 'U': code = 306; hold = 2200; break;    // music key held: key lock
      case 'f': code = 307; break;                 // radio key
      case 'p': code = 291; break;                 // power, short: auto power-off cycle
      case 'P': case 'q': code = 291; hold = 2500; break;  // power held: switch off
      default: break;
    }
    if (code >= 0) press(code, hold);
  }
}

void printKeyMap() {
  std::printf(
      "Keys of the player on this keyboard:\n"
      "  arrows   UP DOWN LEFT RIGHT        Enter  OK          Esc  ESC (repeat; again: time, battery, lunar date)\n"
      "  m        MENU                      b      back        r    RECORD\n"
      "  k        MARK (bookmark)           +  -   volume      u    music key (U: held, locks the keys)\n"
      "  f        radio key                 p      power, short (auto power-off)\n"
      "  P or q   power held: switch off\n\n");
  std::fflush(stdout);
}

void restoreTerminal() {
  if (g_termSaved) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerm);
  g_termSaved = false;
}

void feeder() {
  // Named, so that its polling is told apart from the player's own threads
  // in /proc (the idle wake-up bench).
  pthread_setname_np(pthread_self(), "host-keys");
  const BoardHostOptions &o = BoardHostGetOptions();
  std::thread runFor;
  if (o.runFor > 0) {
    runFor = std::thread([secs = o.runFor] {
      if (pause(secs * 1000L)) press(291, 2500);
    });
  }
  if (o.keys == "-") {
    runScript(STDIN_FILENO);
  } else if (!o.keys.empty()) {
    int fd = open(o.keys.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      std::fprintf(stderr, "keys: cannot open %s\n", o.keys.c_str());
    } else {
      fcntl(fd, F_SETFL, 0);  // opened non-blocking only so a FIFO does not wait for its writer
      runScript(fd);
      close(fd);
    }
  } else if (isatty(STDIN_FILENO)) {
    runTerminal();
  }
  if (runFor.joinable()) runFor.join();
}

}  // namespace

void HostKeysEncode(unsigned char out[16], int type, int code, int value) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  // struct input_event of the 32-bit board: time (two 32-bit words), 16-bit
  // type, 16-bit code, 32-bit value, little-endian.
  uint32_t words[2] = {static_cast<uint32_t>(tv.tv_sec), static_cast<uint32_t>(tv.tv_usec)};
  for (int w = 0; w < 2; w++)
    for (int i = 0; i < 4; i++) out[w * 4 + i] = static_cast<unsigned char>(words[w] >> (8 * i));
  out[8] = static_cast<unsigned char>(type);
  out[9] = static_cast<unsigned char>(type >> 8);
  out[10] = static_cast<unsigned char>(code);
  out[11] = static_cast<unsigned char>(code >> 8);
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; i++) out[12 + i] = static_cast<unsigned char>(v >> (8 * i));
}

int HostKeysStart(int writeFd) {
  g_writeFd = writeFd;
  g_stop = false;
  const BoardHostOptions &o = BoardHostGetOptions();
  if (o.keys.empty() && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_savedTerm) == 0) {
    struct termios raw = g_savedTerm;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    g_termSaved = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    printKeyMap();
  }
  g_thread = std::thread(feeder);
  return 0;
}

void HostKeysStop(void) {
  {
    std::scoped_lock lock(g_mutex);
    g_stop = true;
  }
  g_cond.notify_all();
  if (g_thread.joinable()) g_thread.join();
  restoreTerminal();
}
