// The host board's shell: every command the system would hand to system() on
// the board is written to root/host/commands.txt and answered as the board
// would answer it. Nothing runs on this machine: the four file commands the
// system depends on (mkdir, cp, mv, rm) are carried out by this file on paths
// confined to the root, and the upgrade's unpack ("tar -xzvf ARCHIVE -C
// DIR") by this machine's tar on the two confined paths, without a shell
// (tar keeps members inside DIR: no leading "/", no ".."); everything else
// (mount, mkfs, insmod, hwclock, the upgrade script, ...) is only recorded
// and succeeds.
//
// BoardPopen runs the system's helper programs (the PDF tools under /home):
// the command line is split into words here, the program and the absolute
// paths among its arguments are mapped onto the root, and the program is
// started without a shell, so no file name can become a command.
#include "board/board.h"
#include "board/host/host.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;  // one command at a time, as the board's shell would

// Splits a command line as sh would for the simple commands the system uses:
// blanks separate words, single quotes are literal, double quotes and
// backslashes escape. Returns false for anything with shell operators
// outside quotes (pipes, redirections, ;, &&), which is only recorded.
bool splitWords(const std::string &line, std::vector<std::string> *words) {
  std::string cur;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); i++) {
    char c = line[i];
    if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return false;
      cur += line.substr(i + 1, end - i - 1);
      i = end;
      inWord = true;
    } else if (c == '"') {
      size_t j = i + 1;
      for (; j < line.size() && line[j] != '"'; j++) {
        if (line[j] == '\\' && j + 1 < line.size() &&
            (line[j + 1] == '"' || line[j + 1] == '\\' || line[j + 1] == '$' || line[j + 1] == '`'))
          j++;
        cur += line[j];
      }
      if (j >= line.size()) return false;
      i = j;
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words->push_back(cur);
      cur.clear();
      inWord = false;
    } else if (c == ';' || c == '|' || c == '&' || c == '>' || c == '<' || c == '`' || c == '$') {
      return false;
    } else {
      cur += c;
      inWord = true;
    }
  }
  if (inWord) words->push_back(cur);
  return true;
}

constexpr int kFail = 1 << 8;  // wait status of "exit 1"

// Splits leading options ("-rf", "-p") from the operands.
void splitOptions(const std::vector<std::string> &words, std::string *opts, std::vector<std::string> *args) {
  bool optsDone = false;
  for (size_t i = 1; i < words.size(); i++) {
    const std::string &w = words[i];
    if (!optsDone && w == "--") {
      optsDone = true;
    } else if (!optsDone && w.size() > 1 && w[0] == '-') {
      *opts += w.substr(1);
    } else {
      args->push_back(w);
    }
  }
}

bool confine(const std::vector<std::string> &in, std::vector<fs::path> *out) {
  for (const std::string &a : in) {
    std::string p = BoardHostConfine(a);
    if (p.empty()) return false;
    out->push_back(p);
  }
  return !out->empty();
}

int doMkdir(const std::string &opts, const std::vector<fs::path> &paths) {
  bool parents = opts.find('p') != std::string::npos;
  int rc = 0;
  for (const fs::path &p : paths) {
    std::error_code ec;
    if (parents) {
      fs::create_directories(p, ec);
    } else if (!fs::create_directory(p, ec)) {
      rc = kFail;
    }
    if (ec) rc = kFail;
  }
  return rc;
}

int doRm(const std::string &opts, const std::vector<fs::path> &paths) {
  bool recursive = opts.find('r') != std::string::npos || opts.find('R') != std::string::npos;
  bool force = opts.find('f') != std::string::npos;
  int rc = 0;
  for (const fs::path &p : paths) {
    std::error_code ec;
    // lstat, not the library's status: a 32-bit build's C++ library may
    // refuse a file dated after 2038.
    struct stat st{};
    if (lstat(p.c_str(), &st) != 0) {
      if (!force) rc = kFail;
      continue;
    }
    bool dir = S_ISDIR(st.st_mode);
    if (dir && !recursive) {
      rc = kFail;
      continue;
    }
    if (dir) fs::remove_all(p, ec);
    else fs::remove(p, ec);
    if (ec) rc = kFail;
  }
  return rc;
}

// cp and mv: the last operand is the destination; with several sources it
// must be a folder.
int doCopyMove(bool move, const std::string &opts, const std::vector<fs::path> &paths) {
  if (paths.size() < 2) return kFail;
  bool recursive = move || opts.find('r') != std::string::npos || opts.find('R') != std::string::npos ||
                   opts.find('a') != std::string::npos;
  const fs::path &dest = paths.back();
  std::error_code ec;
  bool destDir = fs::is_directory(dest, ec);
  if (paths.size() > 2 && !destDir) return kFail;
  int rc = 0;
  for (size_t i = 0; i + 1 < paths.size(); i++) {
    const fs::path &src = paths[i];
    fs::path target = destDir ? dest / src.filename() : dest;
    ec.clear();
    if (!fs::exists(fs::symlink_status(src, ec))) {
      rc = kFail;
      continue;
    }
    if (fs::equivalent(src, target, ec)) {
      rc = kFail;  // "are the same file"
      continue;
    }
    ec.clear();
    if (move) {
      fs::rename(src, target, ec);
      if (ec) {  // another device: copy, then remove
        ec.clear();
        fs::copy(src, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::remove_all(src, ec);
      }
    } else if (fs::is_directory(src, ec)) {
      if (!recursive) {
        rc = kFail;
        continue;
      }
      fs::copy(src, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    } else {
      fs::copy_file(src, target, fs::copy_options::overwrite_existing, ec);
    }
    if (ec) rc = kFail;
  }
  return rc;
}

// tar -x[z][v]f ARCHIVE -C DIR, the only form the system issues.
int doTar(const std::string &opts, const std::vector<fs::path> &paths) {
  if (opts.find('x') == std::string::npos || opts.find('C') == std::string::npos || paths.size() != 2)
    return kFail;
  std::vector<std::string> words = {"tar", "-xzf", paths[0].string(), "-C", paths[1].string(), "--no-same-owner"};
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "tar", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return kFail;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

void logCommand(const char *command) {
  if (FILE *log = std::fopen(BoardHostFile("commands.txt").c_str(), "a")) {
    std::fprintf(log, "%s\n", command);
    std::fclose(log);
  }
}

}  // namespace

int BoardRunShell(const char *command) {
  if (!command) return -1;
  std::scoped_lock lock(g_mutex);
  logCommand(command);
  std::vector<std::string> words;
  if (!splitWords(command, &words) || words.empty()) return 0;
  const std::string &verb = words[0];
  if (verb != "mkdir" && verb != "rm" && verb != "cp" && verb != "mv" && verb != "tar") return 0;
  std::string opts;
  std::vector<std::string> args;
  splitOptions(words, &opts, &args);
  std::vector<fs::path> paths;
  if (!confine(args, &paths)) return kFail;  // a path outside the board's root is never touched
  if (verb == "mkdir") return doMkdir(opts, paths);
  if (verb == "rm") return doRm(opts, paths);
  if (verb == "tar") return doTar(opts, paths);
  return doCopyMove(verb == "mv", opts, paths);
}

int BoardPopen(const char *command, char *out, int size) {
  if (!command || !out || size <= 0) return -1;
  out[0] = '\0';
  {
    std::scoped_lock lock(g_mutex);
    logCommand(command);
  }
  std::vector<std::string> words;
  if (!splitWords(command, &words) || words.empty()) return -1;
  for (std::string &w : words)
    if (!w.empty() && w[0] == '/') w = BoardPath(w.c_str());
  if (access(words[0].c_str(), X_OK) != 0) return -1;

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return -1;
  }
  size_t used = 0;
  char drain[4096];
  for (;;) {
    size_t room = static_cast<size_t>(size) - 1 - used;
    ssize_t n = read(fds[0], room ? out + used : drain, room ? room : sizeof drain);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (room) used += static_cast<size_t>(n);
  }
  close(fds[0]);
  out[used] = '\0';
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return static_cast<int>(used);
}
