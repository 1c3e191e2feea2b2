// Helpers of the e-book tests: a temporary folder and iconv in one call.
#pragma once

#include "support/files.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <string>

namespace ebooktest {

using TempDir = ::TempDir;

// Converts text from one set to another; ok is false when any part of it
// could not be converted.
inline std::string convert(const std::string &text, const char *to, const char *from, bool *ok = nullptr) {
  if (ok) *ok = false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(text.size() * 4 + 16, '\0');
  char *ip = const_cast<char *>(text.data());
  size_t il = text.size();
  char *op = out.data();
  size_t ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  if (ok) *ok = r != static_cast<size_t>(-1) && il == 0;
  return out;
}

}  // namespace ebooktest
