// bench_idle_wakeups: how often an idle player wakes up. Starts the player
// of this build on a fresh root (as the end-to-end stories do: a v2.0
// board, the tree's home files, keys from a FIFO, no sound card), waits
// until the file browser has spoken and gone quiet, then counts every
// thread's voluntary context switches (/proc/PID/task/TID/status) over a
// few seconds and prints wake-ups per second per thread, beside the
// machine's own baseline: a thread that only sleeps in one long wait.
// The host board's key-script reader polls its FIFO by design (the board
// reads its keys through the main loop), so one thread of the host build
// is expected to wake about 10 times a second.
//
//   bench_idle_wakeups [seconds]
#include <chrono>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Voluntary context switches of each thread of pid, with its name.
std::map<int, std::pair<std::string, long>> switches(pid_t pid) {
  std::map<int, std::pair<std::string, long>> out;
  std::error_code ec;
  for (const auto &task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    int tid = std::atoi(task.path().filename().c_str());
    std::ifstream status(task.path() / "status");
    std::string line, name;
    long n = -1;
    while (std::getline(status, line)) {
      if (line.rfind("Name:", 0) == 0) name = line.substr(6);
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) n = std::atol(line.c_str() + 24);
    }
    if (n >= 0) out[tid] = {name, n};
  }
  return out;
}

// A loopback port nobody listens on now, for the virtual-key server.
int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

void put(const fs::path &path, const std::string &text) { std::ofstream(path) << text; }

}  // namespace

int main(int argc, char **argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char tmpl[] = "/tmp/bench-idle-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const fs::path root = tmpl;
  for (const char *d : {"proc", "home", "mnt/emmc", "mnt/sdcard", "tmp"}) fs::create_directories(root / d);
  put(root / "proc/cmdline", "console=ttyS0 hard_ver=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4 rootwait\n");
  put(root / "proc/version", "Linux version 3.10.14 (builder@host) #1 PREEMPT\n");
  const std::string install = std::string(TB_SOURCE_DIR) + "/scripts/install-home " + root.string() + " --home-only >/dev/null";
  if (std::system(install.c_str()) != 0) {
    std::fprintf(stderr, "install-home failed\n");
    return 1;
  }
  const fs::path fifo = root / "keys.fifo";
  mkfifo(fifo.c_str(), 0600);

  const std::string port = std::to_string(freePort());
  pid_t pid = fork();
  if (pid == 0) {
    int out = open("/dev/null", O_WRONLY);
    dup2(out, 1);
    dup2(out, 2);
    execl(TB_TALKBOOK, TB_TALKBOOK, "--root", root.c_str(), "--keys", fifo.c_str(), "--vkey-port", port.c_str(), "--audio",
          "null", static_cast<char *>(nullptr));
    _exit(127);
  }
  // Keeps the FIFO open for writing, so the player's reader never sees its end.
  int keys = open(fifo.c_str(), O_RDWR);
  // Start-up speaks the device list; give it time to end and settle.
  std::this_thread::sleep_for(std::chrono::seconds(4));

  // The baseline: a thread of this process that sleeps in one long wait.
  auto before = switches(pid);
  const auto self0 = switches(getpid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  auto after = switches(pid);
  const auto self1 = switches(getpid());

  std::printf("idle in the file browser, %d s, wake-ups per second (voluntary context switches):\n", seconds);
  double total = 0;
  for (const auto &[tid, v] : after) {
    auto it = before.find(tid);
    if (it == before.end()) continue;
    const double rate = static_cast<double>(v.second - it->second.second) / seconds;
    total += rate;
    std::printf("  %-16s %s %6.1f/s\n", v.first.c_str(), tid == pid ? "(main)  " : "(thread)", rate);
  }
  std::printf("  all threads of the player %6.1f/s; baseline (this bench, asleep) %.1f/s\n", total,
              static_cast<double>(self1.at(getpid()).second - self0.at(getpid()).second) / seconds);

  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(keys);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
