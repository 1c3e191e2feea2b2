// core/runtime/log.h: the process-wide log, in numbered files under /home or on
// standard output. Every thread logs; a line is one formatted write.
#pragma once

enum { LOG_ERROR = 0, LOG_WARNING = 1, LOG_INFO = 2, LOG_DEBUG = 3 };

// Opens the current log file (CfgLogToFile) for appending, or falls back to
// standard output. Returns 0.
int OpenLog(void);

// Closes the log file; later lines go to standard output.
void CloseLog(void);

int LogGetLevel(void);
void LogSetLevel(int level);

// Writes "[time level]source line N: message" when level <= CfgLogLevel and
// rotates the file once it has grown past CfgMaxLogFileSize.
void LogPrintf(int level, const char *source, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// Each logging file declares `constexpr char kLogSource[] = "dir/name.c";`.
#define LOGE(...) LogPrintf(LOG_ERROR, kLogSource, __LINE__, __VA_ARGS__)
#define LOGW(...) LogPrintf(LOG_WARNING, kLogSource, __LINE__, __VA_ARGS__)
#define LOGI(...) LogPrintf(LOG_INFO, kLogSource, __LINE__, __VA_ARGS__)
#define LOGD(...) LogPrintf(LOG_DEBUG, kLogSource, __LINE__, __VA_ARGS__)
