# pagorix-stub.exe, the Windows book runtime: a PE32 GUI program with its
# resources (manifest, "S_Stream" string table). Optimised builds strip it,
# print its size before padding (it must stay within the payload offset) and
# pad it to exactly that offset.
add_executable(pagorix-stub WIN32 main_win32.cpp pagorix-stub.rc)
target_link_libraries(pagorix-stub PRIVATE pagorix_launcher pagorix_backend_win32)
pagorix_settings(pagorix-stub)
set_source_files_properties(pagorix-stub.rc PROPERTIES
  COMPILE_FLAGS "--include-dir=${CMAKE_CURRENT_SOURCE_DIR}")
target_link_options(pagorix-stub PRIVATE -mwindows)

string(TOUPPER "${CMAKE_BUILD_TYPE}" stub_build_type)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 64-bit build only serves tests: padded when it happens to fit.
  set(PAGORIX_STUB_PADDED OFF CACHE INTERNAL "pagorix-stub is padded to the payload offset")
  target_link_options(pagorix-stub PRIVATE -Wl,--gc-sections -s)
  add_custom_command(TARGET pagorix-stub POST_BUILD
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:pagorix-stub>
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -DPAD_IF_FITS=ON -P ${CMAKE_CURRENT_SOURCE_DIR}/report_size.cmake VERBATIM)
elseif(stub_build_type MATCHES "^(RELEASE|MINSIZEREL|RELWITHDEBINFO)$" AND NOT PAGORIX_SANITIZE)
  set(PAGORIX_STUB_PADDED ON CACHE INTERNAL "pagorix-stub is padded to the payload offset")
  target_compile_options(pagorix-stub PRIVATE -Os)
  target_link_options(pagorix-stub PRIVATE -Wl,--gc-sections -s)
  add_custom_command(TARGET pagorix-stub POST_BUILD
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:pagorix-stub>
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/report_size.cmake
    COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:pagorix-stub> -DSIZE=${PAGORIX_PAYLOAD_OFFSET}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/pad_stub.cmake
    COMMENT "Stripping pagorix-stub.exe and padding it to ${PAGORIX_PAYLOAD_OFFSET} bytes" VERBATIM)
else()
  set(PAGORIX_STUB_PADDED OFF CACHE INTERNAL "pagorix-stub is padded to the payload offset")
endif()
