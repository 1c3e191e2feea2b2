# Cross build for the board's CPU (32-bit little-endian MIPS) against a Debian
# mipsel sysroot made by scripts/deps --cross. Test programs run under
# qemu-mipsel. This finds 32-bit and byte-order faults; a build that runs on
# the board itself needs the board's own toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(_triple mipsel-linux-gnu)
set(CMAKE_C_COMPILER   ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)

if(NOT MIPSEL_SYSROOT)
  set(MIPSEL_SYSROOT "$ENV{MIPSEL_SYSROOT}")
endif()
if(NOT MIPSEL_SYSROOT)
  set(MIPSEL_SYSROOT /opt/sysroot-mipsel)
endif()
if(NOT IS_DIRECTORY "${MIPSEL_SYSROOT}/usr/lib/${_triple}")
  message(FATAL_ERROR "MIPSEL_SYSROOT='${MIPSEL_SYSROOT}' is not a mipsel sysroot (scripts/deps --cross makes one)")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIPSEL_SYSROOT)
set(CMAKE_SYSROOT "${MIPSEL_SYSROOT}")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the sysroot's .pc files and prefixes their paths.
set(ENV{PKG_CONFIG_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR} "${CMAKE_SYSROOT}/usr/lib/${_triple}/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${CMAKE_SYSROOT}")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L ${CMAKE_SYSROOT})
