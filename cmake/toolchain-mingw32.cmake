# Cross build for 32-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-i686).
#
# The programs are PE32 images with the C and C++ run-times linked in
# statically, so a book runs on a bare Windows without any DLL of the
# compiler's. The preset builds for size (MinSizeRel). The runtime has one
# thread, but GoogleTest needs std::mutex, which only the posix thread
# model's run-time has. Tools that run during the build (the splash clip
# packer) are built for the build machine separately.
set(CMAKE_SYSTEM_NAME Windows)
# toolchain-mingw64.cmake sets x86_64 before including this file.
if(NOT PAGORIX_MINGW_ARCH)
  set(PAGORIX_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${PAGORIX_MINGW_ARCH})

set(PAGORIX_MINGW_PREFIX ${PAGORIX_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${PAGORIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAGORIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PAGORIX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${PAGORIX_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${PAGORIX_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_STRIP ${PAGORIX_MINGW_PREFIX}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${PAGORIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Sections per function so that the linker drops what nobody calls; static
# run-times; no symbols in optimised programs. The book runtime adds the GUI
# subsystem itself (apps/stub).
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

# Tests run under Wine: its 32-bit or its 64-bit loader.
if(PAGORIX_MINGW_ARCH STREQUAL "x86_64")
  find_program(PAGORIX_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
else()
  find_program(PAGORIX_WINE wine)
endif()
if(PAGORIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PAGORIX_WINE})
endif()
