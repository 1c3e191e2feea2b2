// The host board set up for a command-line tool: DIR as the board's file
// system (empty: the machine's own) and the player's log on stdout only when
// asked for (warnings and worse).
#pragma once

#include "board/host/host.h"
#include "core/runtime/log.h"

#include <string>

inline int ToolHostSetUp(const std::string &root, bool log) {
  LogSetLevel(log ? LOG_WARNING : -1);
  BoardHostOptions options;
  options.root = root;
  return BoardHostConfigure(options);
}
