# The same cross build for 64-bit Windows (Debian's g++-mingw-w64-x86-64).
# Only for running the Windows tests on hosts whose kernel cannot start
# 32-bit programs, where Wine's 32-bit side cannot run: the book runtime
# itself is the 32-bit build.
set(PAGORIX_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)
