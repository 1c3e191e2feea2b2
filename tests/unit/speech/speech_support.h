// Shared by the speech tests: a host root with the engine's resource in
// /home, and the check that espeak-ng's data is there (under qemu set
// ESPEAK_DATA_PATH to a copy on tmpfs; without data the tests are skipped).
#pragma once

#include "support/temp_root.h"
#include "support/files.h"
#include "ttsengine/ivtts.h"

#include <filesystem>
#include <string>

namespace speechtest {

inline bool HaveEngineData() {
  char dir[512];
  return ivTTS_FindDataPath(dir, sizeof dir) == 0;
}

inline void InstallResource(const TempRoot &root) {
  std::error_code ec;
  std::filesystem::copy_file(SourcePath("/data/Resource.irf"), root.at("/home/Resource.irf"),
                             std::filesystem::copy_options::overwrite_existing, ec);
}

}  // namespace speechtest
