// The log: one stream (a numbered file "/home/<device><n>.log" or standard
// output) shared by every thread. g_mutex serialises each line with the
// rotation that may follow it, so two threads never rotate at once.
#include "core/runtime/log.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/machine.h"
#include "core/runtime/shell.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace {

constexpr char kLogDir[] = "/home";
constexpr int kMaxLogNo = 10000;

std::mutex g_mutex;
FILE *g_stream = nullptr;  // guarded by g_mutex; stdout or the log file

void logFileName(int no, char *out, size_t size) {
  std::snprintf(out, size, "%s/%s%d.log", kLogDir, DeviceName ? DeviceName : "", no);
}

FILE *openNumbered(int no, const char *mode) {
  char name[256];
  logFileName(no, name, sizeof name);
  FILE *f = std::fopen(BoardPath(name).c_str(), mode);
  if (!f) std::printf("open: logfile %s error\n", name);
  return f;
}

// Steps 1-4 of a rotation: the next numbered file replaces the current one
// and the oldest one beyond CfgMaxLogFile is deleted.
void rotate() {
  std::fclose(g_stream);
  std::atomic_ref<int>(LogFileNo).store(LogFileNo + 1 >= kMaxLogNo ? 0 : LogFileNo + 1,
                                       std::memory_order_relaxed);  // a settings save reads it
  g_stream = openNumbered(LogFileNo, "w");
  if (!g_stream) {
    g_stream = stdout;
    return;
  }
  int old = LogFileNo - CfgMaxLogFile;
  if (old < 0) old += kMaxLogNo;
  char name[256];
  logFileName(old, name, sizeof name);
  const std::string cmd = "rm  " + ShellQuote(name);
  int status = BoardRunShell(cmd.c_str());
  std::printf("system: %s return 0x%x\n", cmd.c_str(), static_cast<unsigned>(status));
}

}  // namespace

int OpenLog(void) {
  std::scoped_lock lock(g_mutex);
  if (g_stream && g_stream != stdout) std::fclose(g_stream);
  g_stream = nullptr;
  if (CfgLogToFile) g_stream = openNumbered(LogFileNo, "a");
  if (!g_stream) {
    g_stream = stdout;
    std::printf("OpenLog: use stdout as log file!\n");
  }
  return 0;
}

void CloseLog(void) {
  std::scoped_lock lock(g_mutex);
  if (g_stream && g_stream != stdout) std::fclose(g_stream);
  g_stream = stdout;
}

int LogGetLevel(void) { return CfgLogLevel; }

void LogSetLevel(int level) { CfgLogLevel = level; }

void LogPrintf(int level, const char *source, int line, const char *format, ...) {
  if (CfgLogLevel < level) return;
  static const char *const kLevels[] = {"error", "warning", "info", "debug"};
  char msg[4096];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(msg, sizeof msg, format, ap);
  va_end(ap);

  // Local time of the board's (possibly offset) clock, as ctime() prints it.
  time_t now = BoardTime();
  char when[64];
  struct tm tmv;
  localtime_r(&now, &tmv);
  std::strftime(when, sizeof when, "%a %b %e %H:%M:%S %Y", &tmv);

  std::scoped_lock lock(g_mutex);
  if (!g_stream) {
    g_stream = stdout;
    std::printf("LogPrintf: use stdout as log file!\n");
  }
  std::fprintf(g_stream, "[%s %s]%s line %d: %s", when, level >= 0 && level <= 3 ? kLevels[level] : "",
               source ? source : "", line, msg);
  std::fflush(g_stream);
  if (g_stream != stdout && std::ftell(g_stream) > CfgMaxLogFileSize) rotate();
}
