# Cross build for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu; programs built for the
# target (test discovery, CTest) run under qemu-aarch64. VIREO_AARCH64_ROOT names an optional
# folder holding extracted arm64 packages (usr/include, usr/lib/aarch64-linux-gnu) that the
# machine's cross toolchain does not have, such as GMP and MPFR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VIREO_AARCH64_ROOT)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
if(VIREO_AARCH64_ROOT)
  set(libdir ${VIREO_AARCH64_ROOT}/usr/lib/aarch64-linux-gnu)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VIREO_AARCH64_ROOT})
  # Headers, libraries and pkg-config files of the extra packages, however a target asks for
  # them; Debian puts some headers (gmp.h) in the multiarch folder.
  string(CONCAT CMAKE_CXX_FLAGS_INIT "-isystem ${VIREO_AARCH64_ROOT}/usr/include "
    "-isystem ${VIREO_AARCH64_ROOT}/usr/include/aarch64-linux-gnu")
  set(CMAKE_C_FLAGS_INIT ${CMAKE_CXX_FLAGS_INIT})
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${libdir}")
  set(ENV{PKG_CONFIG_LIBDIR} ${libdir}/pkgconfig)
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VIREO_AARCH64_ROOT})
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E LD_LIBRARY_PATH=${libdir})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
