# pagorix-stub.exe, the Windows book runtime: a GUI program with its
# resources (manifest, "S_Stream" string table). Optimised builds strip it,
# print its size before padding (it must stay within the payload offset) and
# pad it to exactly that offset.
add_executable(pagorix-stub WIN32 main_win32.cpp pagorix-stub.rc)
set_source_files_properties(pagorix-stub.rc PROPERTIES
  COMPILE_FLAGS "--include-dir=${CMAKE_CURRENT_SOURCE_DIR}")
target_link_options(pagorix-stub PRIVATE -mwindows)

string(TOUPPER "${CMAKE_BUILD_TYPE}" stub_build_type)
if(NOT stub_build_type MATCHES "^(RELEASE|MINSIZEREL|RELWITHDEBINFO)$" OR PAGORIX_SANITIZE)
  set(PAGORIX_STUB_PADDED OFF CACHE INTERNAL "pagorix-stub is padded to the payload offset")
  target_link_libraries(pagorix-stub PRIVATE pagorix_launcher pagorix_backend_win32)
  pagorix_settings(pagorix-stub)
  return()
endif()

# As on Linux, the runtime is compiled from its own copy of the libraries'
# sources as one whole program (link-time optimisation), which drops and
# merges across the libraries: about a third smaller than linking the
# libraries. GCC 12 for MinGW needs the whole program in one partition (it
# fails inside the compiler otherwise).
set(stub_libraries pagorix_launcher pagorix_book pagorix_backend_win32 pagorix_archive pagorix_exec
                   pagorix_splash pagorix_streams pagorix_framework pagorix_platform)
foreach(library ${stub_libraries})
  get_target_property(library_sources ${library} SOURCES)
  target_sources(pagorix-stub PRIVATE ${library_sources})
  add_dependencies(pagorix-stub ${library})  # generated sources are made there
endforeach()
# The system libraries of the host layer and the Win32 backend.
target_link_libraries(pagorix-stub PRIVATE comctl32 comdlg32 gdi32 user32 shell32 ole32)
target_include_directories(pagorix-stub PRIVATE ${PROJECT_SOURCE_DIR}/src
                                                ${PROJECT_BINARY_DIR}/generated)
target_compile_options(pagorix-stub PRIVATE -Os -flto -Wall -Wextra -Wpedantic
                                            $<$<BOOL:${PAGORIX_WERROR}>:-Werror>)
target_link_options(pagorix-stub PRIVATE -Os -flto=auto -flto-partition=one
                                         -Wl,--gc-sections -s)
# The runtime has one thread: it is linked with the C++ run-time of the
# compilers' "win32" thread model, which carries no POSIX threads emulation
# (27 KB). The tests keep the posix model, whose std::mutex GoogleTest
# needs; code that did use threads would fail to link here. The rule is read
# per directory, and this folder makes only the runtime. (Only the 32-bit
# compilers come in both models on Debian; the 64-bit test build keeps its.)
string(REGEX REPLACE "-posix$" "-win32" stub_linker "${CMAKE_CXX_COMPILER}")
if(EXISTS "${stub_linker}")
  set(CMAKE_CXX_LINK_EXECUTABLE
      "${stub_linker} <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 64-bit build only serves tests: padded when it happens to fit.
  set(PAGORIX_STUB_PADDED OFF CACHE INTERNAL "pagorix-stub is padded to the payload offset")
  add_custom_command(TARGET pagorix-stub POST_BUILD
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:pagorix-stub>
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -DPAD_IF_FITS=ON -P ${CMAKE_CURRENT_SOURCE_DIR}/report_size.cmake VERBATIM)
else()
  set(PAGORIX_STUB_PADDED ON CACHE INTERNAL "pagorix-stub is padded to the payload offset")
  add_custom_command(TARGET pagorix-stub POST_BUILD
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:pagorix-stub>
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/report_size.cmake
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/pad_stub.cmake
    COMMENT "Stripping pagorix-stub.exe and padding it to ${PAGORIX_PAYLOAD_OFFSET} bytes" VERBATIM)
endif()
