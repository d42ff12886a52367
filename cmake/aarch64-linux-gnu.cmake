# Cross build for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu; programs built for the
# target (test discovery, CTest, the icon renderer, the manual pages) run under qemu-aarch64.
# VIREO_AARCH64_ROOT names a folder holding Debian's arm64 packages unpacked (scripts/lib.sh's
# arm64_root): the compiler's sysroot, where it finds the libraries its own toolchain lacks
# (Qt, MPFR ...) after its own C and C++ headers, and the emulator's library root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VIREO_AARCH64_ROOT)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
if(VIREO_AARCH64_ROOT)
  set(CMAKE_SYSROOT ${VIREO_AARCH64_ROOT})
  set(ENV{PKG_CONFIG_LIBDIR} ${VIREO_AARCH64_ROOT}/usr/lib/aarch64-linux-gnu/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VIREO_AARCH64_ROOT})
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${VIREO_AARCH64_ROOT})
  # Qt's tools (moc, rcc ...) and their CMake packages are the build machine's.
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
