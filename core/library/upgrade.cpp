// The firmware upgrade (see upgrade.h): check, unpack beside, switch, apply.
#include "core/library/upgrade.h"

#include "board/board.h"
#include "core/runtime/config.h"
#include "core/runtime/globals.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/shell.h"
#include "speech/text_sound.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/upgrade.c";
constexpr uint32_t kMagic = 0x70756c62;  // "blup"
constexpr long long kMinSize = 33, kMaxSize = 33554431;
constexpr int kHeader = 32;
constexpr size_t kPiece = 1 << 20;
constexpr char kTmp[] = "/home/tmp.tar.gz";
constexpr char kStage[] = "/home/upgrade.new";  // the unpack beside the last upgrade folder
constexpr char kFolder[] = "/home/upgrade";

// What the user hears, {Chinese, English} by step.
enum Said { kLower, kDamaged, kFailed, kUpgrading, kUpgraded };
const char *const kSaid[][2] = {
    {"不能升级到较低的版本", "Cannot update to a lower version"}, {"升级文件已损坏", "The upgrade file is damaged"},
    {"升级失败", "Upgrade failed"}, {"正在升级...", "Upgrading..."}, {"升级完成", "Upgrading done"}};

void sayAndWait(Said said) { wait_text_sound_end(text_sound_insert(kSaid[said][PromptLanguage()])); }

bool exists(const std::string &path) {
  struct stat st{};
  return stat(BoardPath(path.c_str()).c_str(), &st) == 0;
}

void run(const std::string &command) { BoardRunShell(command.c_str()); }

// An open descriptor, closed when it goes out of scope.
struct UniqueFd {
  int fd;
  explicit UniqueFd(int f) : fd(f) {}
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  ~UniqueFd() {
    if (fd >= 0) close(fd);
  }
  int operator*() const { return fd; }
  int release() { return std::exchange(fd, -1); }
};

struct MdFree {
  void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};

// Moves all len bytes (reading or writing), going on after interruptions.
bool transferAll(int fd, unsigned char *buf, size_t len, bool writing) {
  while (len > 0) {
    ssize_t n = writing ? write(fd, buf, len) : read(fd, buf, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n, len -= static_cast<size_t>(n);
  }
  return true;
}
bool readAll(int fd, unsigned char *buf, size_t len) { return transferAll(fd, buf, len, false); }

std::string hex(const unsigned char *d) {
  char s[33];
  for (int i = 0; i < 16; i++) std::snprintf(s + 2 * i, 3, "%02x", d[i]);
  return s;
}

// Copies the archive to the temporary file while hashing it. Returns 0 with
// digest filled, -1 when the package cannot be read to its end, -2 when the
// temporary file cannot be written.
int copyAndHash(int in, long long bytes, unsigned char digest[16]) {
  std::unique_ptr<EVP_MD_CTX, MdFree> md(EVP_MD_CTX_new());
  if (!md || EVP_DigestInit_ex(md.get(), EVP_md5(), nullptr) != 1) return -1;
  std::string tmp = BoardPath(kTmp);
  UniqueFd out(open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (*out < 0) {
    LOGI("CheckUpgrade: cannot write tmp file\n");
    return -2;
  }
  std::vector<unsigned char> buf(kPiece);
  while (bytes > 0) {
    size_t n = bytes < static_cast<long long>(kPiece) ? static_cast<size_t>(bytes) : kPiece;
    if (!readAll(in, buf.data(), n)) {
      LOGI("CheckUpgrade: cannot read upgrade file\n");
      return -1;
    }
    EVP_DigestUpdate(md.get(), buf.data(), n);
    if (!transferAll(*out, buf.data(), n, true)) {
      LOGI("CheckUpgrade: cannot write tmp file\n");
      return -2;
    }
    bytes -= static_cast<long long>(n);
  }
  unsigned int len = 0;
  EVP_DigestFinal_ex(md.get(), digest, &len);
  return close(out.release()) == 0 ? 0 : -2;
}

// The spoken reason for a refused package; the package itself is removed
// except when only this device's own storage failed (-2), so that a good
// package is tried again once there is room.
int refuse(const std::string &package, int result) {
  if (result != -2) run("rm -rf  " + ShellQuote(package));
  sayAndWait(result == -4 ? kLower : result == -2 ? kFailed : kDamaged);
  return result;
}

void cleanUp() {
  run(std::string("rm -rf ") + kStage);
  run(std::string("rm -rf ") + kTmp);
}

}  // namespace

int GetUpdateFileVersion(const char *text, int length) {
  if (!text || length <= 0) return -1;
  std::string seen(text, strnlen(text, static_cast<size_t>(length)));  // NUL-padded in a header
  std::printf("UpdateFileVersion:%s\n", seen.c_str());
  std::string s;
  for (char c : seen)
    if (c != ' ') s += c;
  if (s.size() < 4 || (s[0] != 'v' && s[0] != 'V')) return -1;
  size_t dot = s.find('.');
  if (dot == std::string::npos || dot < 2 || dot + 1 >= s.size()) return -1;
  long major = 0, minor = 0;
  for (size_t i = 1; i < s.size(); i++) {
    if (i == dot) continue;
    if (s[i] < '0' || s[i] > '9') return -1;
    long &v = i < dot ? major : minor;
    v = v * 10 + (s[i] - '0');
    if (v > 0xffff) return -1;
  }
  return static_cast<int>(major * 256 + minor);
}

int CheckUpgrade(const char *path, int minimum) {
  if (!path) return -1;
  UniqueFd in(open(BoardPath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (*in < 0) {
    LOGI("CheckUpgrade: cannot open upgrade file: %s\n", path);
    return -1;
  }
  struct stat st{};
  if (fstat(*in, &st) != 0) {
    LOGI("CheckUpgrade: cannot stat upgrade file: %s\n", path);
    return -1;
  }
  long long size = static_cast<long long>(st.st_size);
  if (!S_ISREG(st.st_mode) || size < kMinSize || size > kMaxSize) {
    LOGI("CheckUpgrade: upgrade file: %s length error, len = %lld\n", path, size);
    return -1;
  }
  unsigned char header[kHeader];
  if (!readAll(*in, header, sizeof header)) {
    LOGI("CheckUpgrade: cannot read upgrade file\n");
    return -1;
  }
  uint32_t magic = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
  if (magic != kMagic) {
    LOGI("CheckUpgrade: magic[0x%08x] error\n", magic);
    return -1;
  }
  int version = GetUpdateFileVersion(reinterpret_cast<const char *>(header + 4), 12);
  if (version < 0) return -1;
  if (version < minimum) {
    LOGE("UpdateFileVersion: 0x%x, min_ver: 0x%x\n", version, minimum);
    return -4;
  }
  unsigned char digest[16];
  int r = copyAndHash(*in, size - kHeader, digest);
  if (r == 0 && std::memcmp(digest, header + 16, 16) != 0) {
    LOGI("CheckUpgrade: upgrade file validation error\n");
    LOGI("MD5[in file]: %s\n", hex(header + 16).c_str());
    LOGI("MD5[check]: %s\n", hex(digest).c_str());
    r = -3;
  }
  if (r != 0) unlink(BoardPath(kTmp).c_str());
  return r;
}

int UpGrage(int minimum) {
  if (!DeviceName || !*DeviceName) return 0;
  const std::string package = std::string("/mnt/emmc/") + DeviceName + "up";
  if (!exists(package)) return 0;
  int r = CheckUpgrade(package.c_str(), minimum);
  if (r != 0) return refuse(package, r);

  // Unpack beside: nothing the device runs is touched until the whole
  // archive came out.
  run(std::string("rm -rf ") + kStage);
  run(std::string("mkdir -p ") + kStage);
  if (BoardRunShell((std::string("tar -xzvf ") + kTmp + " -C " + kStage).c_str()) != 0) {
    LOGI("tar return error\n");
    cleanUp();
    return refuse(package, -1);
  }
  const std::string staged = std::string(kStage) + "/upgrade/";
  const std::string script = std::string(DeviceName) + "sh.sh", config = std::string(DeviceName) + "xml.xml";
  if (!exists(staged + script) && !exists(staged + config)) {
    LOGI("Found no upgrade file!\n");
    cleanUp();
    return refuse(package, -1);
  }
  // Switch: one rename puts the new folder where the last one was.
  run(std::string("rm -rf ") + kFolder);
  run("mv " + staged.substr(0, staged.size() - 1) + " " + kFolder);
  run(std::string("rm -rf ") + kStage);

  sayAndWait(kUpgrading);
  const std::string folder = std::string(kFolder) + "/";
  if (exists(folder + script)) run(ShellQuote(folder + script));
  if (exists(folder + config) && _LoadConfig((folder + config).c_str()) != 0)
    LOGI("_LoadConfig %s return error\n", (folder + config).c_str());
  // Applied: the package goes, so the next start does not repeat it.
  run("rm -rf  " + ShellQuote(package));
  if (exists(folder + "reboot")) {
    pwroff_tone = 1;
    SendVKey(VKEY_POWEROFF);
  }
  sayAndWait(kUpgraded);
  run(std::string("rm -rf ") + kFolder);
  run(std::string("rm -rf ") + kTmp);
  return 1;
}
