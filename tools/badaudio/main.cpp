// badaudio: writes the malformed variants of good audio files into a folder,
// for trying the player, the decoder or another program on them by hand.
//   badaudio OUTDIR FILE...
// Each variant is OUTDIR/<file name>.<variant>.<extension>.
#include "tools/badaudio/badaudio.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTDIR FILE...\n", argv[0]);
    return 2;
  }
  const std::filesystem::path outDir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  int written = 0;
  for (int i = 2; i < argc; i++) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "badaudio: cannot read %s\n", argv[i]);
      return 1;
    }
    std::string good((std::istreambuf_iterator<char>(in)), {});
    const std::filesystem::path p(argv[i]);
    for (const badaudio::Variant &v : badaudio::Variants(good)) {
      auto name = p.stem().string() + "." + v.name + p.extension().string();
      std::ofstream(outDir / name, std::ios::binary) << v.bytes;
      written++;
    }
  }
  std::printf("%d files in %s\n", written, outDir.c_str());
  return 0;
}
