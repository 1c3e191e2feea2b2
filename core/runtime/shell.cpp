#include "core/runtime/shell.h"

std::string ShellQuote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else if (c != '\0') out += c;
  }
  return out + "'";
}

std::string ShellQuotePath(std::string_view path) {
  if (!path.empty() && path[0] == '-') return ShellQuote("./" + std::string(path));
  return ShellQuote(path);
}
