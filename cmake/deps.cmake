# Every dependency comes from Debian's packages through pkg-config; the
# mipsel toolchain file points pkg-config at the sysroot.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(LIBXML2    REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(FFMPEG     REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
pkg_check_modules(LAME       REQUIRED IMPORTED_TARGET lame)
pkg_check_modules(SOUNDTOUCH REQUIRED IMPORTED_TARGET soundtouch)
pkg_check_modules(SPEEXDSP   REQUIRED IMPORTED_TARGET speexdsp)
pkg_check_modules(MINIZIP    REQUIRED IMPORTED_TARGET minizip zlib)
pkg_check_modules(CRYPTO     REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(ESPEAK     REQUIRED IMPORTED_TARGET espeak-ng)
pkg_check_modules(ALSA       IMPORTED_TARGET alsa)   # host sound only; the board uses OSS
if(TB_TESTS)
  find_package(GTest REQUIRED)
endif()

# The libraries every module may use.
add_library(tb_deps INTERFACE)
target_link_libraries(tb_deps INTERFACE
  PkgConfig::LIBXML2 PkgConfig::FFMPEG PkgConfig::LAME PkgConfig::SOUNDTOUCH
  PkgConfig::SPEEXDSP PkgConfig::MINIZIP PkgConfig::CRYPTO PkgConfig::ESPEAK
  Threads::Threads)

# 64-bit atomics on the board's 32-bit CPU come from libatomic.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_libraries(tb_deps INTERFACE atomic)
endif()
