// Commands that carry outside values (file names, the kernel command line's
// device name) are run by a real sh in a sandbox whose programs only write
// down how they were called: a hostile value must arrive as one literal
// argument and nothing else may run.
#include "core/runtime/shell.h"

#include "core/runtime/config.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "support/temp_dir.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "tests/shell.c";
const char *const kHostile[] = {"$(reboot)", "`reboot`", "it's", "'; reboot; '", "\"$(reboot)\"",
                                "a\nreboot\nb", "-rf", "\\'", "x y\tz", "--", ""};

// A folder with its own bin/: every program a command may name records its
// name and arguments in "calls", "[arg]" each.
class Sandbox {
 public:
  Sandbox() {
    std::filesystem::create_directories(dir_ / "bin");
    for (const char *prog : {"rm", "mv", "reboot"}) {
      dir_.write("bin/" + std::string(prog),
                 "#!/bin/sh\n{ printf '%s' \"${0##*/}\"; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; }"
                 " >> \"$CALLS\"\n");
      std::filesystem::permissions(dir_ / ("bin/" + std::string(prog)), std::filesystem::perms::owner_all);
    }
  }
  // The wait status of sh (with -n: only read, never run) on command.
  int sh(const std::string &command, bool syntaxOnly = false) const {
    pid_t pid = fork();
    if (pid == 0) {
      std::string path = "PATH=" + dir_ / "bin", calls = "CALLS=" + dir_ / "calls";
      char *env[] = {path.data(), calls.data(), nullptr};
      if (chdir(dir_.path().c_str()) == 0)
        execle("/bin/sh", "sh", syntaxOnly ? "-n" : "-e", "-c", command.c_str(), nullptr, env);
      _exit(127);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
  }
  // Both passes on a command or a script; the board's paths under /tmp are
  // written inside here.
  void run(std::string command) const {
    for (size_t at; (at = command.find(" /tmp/")) != std::string::npos;) command.replace(at, 6, " ./");
    EXPECT_EQ(sh(command, true), 0) << command;
    EXPECT_EQ(sh(command), 0) << command;
  }
  std::string read(const std::string &name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  TempDir dir_;
};

TEST(Shell, AnyValueArrivesAsOneLiteralArgument) {
  Sandbox box;
  std::string script, expected;
  for (const char *v : kHostile) {
    script += "mv " + ShellQuotePath(v) + " " + ShellQuote(v) + "\n";
    expected += std::string("mv [") + (v[0] == '-' ? "./" : "") + v + "] [" + v + "]\n";
  }
  box.run(script);
  EXPECT_EQ(box.read("calls"), expected);
  EXPECT_EQ(ShellQuote(std::string("a\0b", 3)), "'ab'");  // a NUL would cut the command inside its quotes
}

// Every command the machine summary and the log rotation hand to the board,
// with a device name taken from a hostile kernel command line.
TEST(Shell, RecordedCommandsRunNothingButThemselves) {
  const char *names[] = {"q7$(reboot)", "q7`reboot`", "q7';reboot;'", "q7\";reboot;\"", "q7\\'"};
  const std::string savedType = HardType;
  const int saved[] = {CfgLogToFile, CfgLogLevel, CfgMaxLogFileSize, CfgMaxLogFile, LogFileNo};
  for (const char *name : names) {
    TempRoot root;
    Sandbox box;
    root.write("/proc/version", "Linux version 3.10.14 (builder) #1\n");
    root.write("/proc/cmdline", std::string("hard_ver=") + name + "_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4");
    EXPECT_EQ(LoadMachineType(), 0) << name;
    ASSERT_STREQ(HardType, name);
    CfgLogToFile = 1, CfgLogLevel = 1, CfgMaxLogFileSize = 100, CfgMaxLogFile = 2, LogFileNo = 7;
    OpenLog();
    LOGE("%s\n", std::string(150, 'a').c_str());  // past the limit: rotates to 8 and removes 6
    CloseLog();

    box.run(root.read("/host/commands.txt"));  // one command a line: one script
    EXPECT_EQ(box.read("calls"), "rm [/home/" + std::string(name) + "6.log]\n") << name;
    EXPECT_EQ(box.read("machine").rfind("HardType: " + std::string(name) + "\n", 0), 0u) << box.read("machine");
  }
  CfgLogToFile = saved[0], CfgLogLevel = saved[1], CfgMaxLogFileSize = saved[2], CfgMaxLogFile = saved[3];
  LogFileNo = saved[4];
  std::strcpy(HardType, savedType.c_str());
}

}  // namespace
