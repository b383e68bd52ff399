# Tools that run during a cross build (the splash clip packer) are built for
# the build machine: a native configure of this project in a folder of its
# own, building only the tools' targets. PAGORIX_HOST_MAKE_BLOB may name a
# make_blob that a native build made already, which saves that build. Sets
# PAGORIX_MAKE_BLOB to the native make_blob and PAGORIX_HOST_TOOLS to the
# target that builds it.
set(PAGORIX_HOST_MAKE_BLOB "" CACHE FILEPATH "A native make_blob to use in a cross build")
if(PAGORIX_HOST_MAKE_BLOB AND EXISTS "${PAGORIX_HOST_MAKE_BLOB}")
  set(PAGORIX_MAKE_BLOB ${PAGORIX_HOST_MAKE_BLOB})
  set(PAGORIX_HOST_TOOLS ${PAGORIX_HOST_MAKE_BLOB})
  return()
endif()
include(ExternalProject)
set(host_dir ${PROJECT_BINARY_DIR}/host-tools)
set(PAGORIX_MAKE_BLOB ${host_dir}/src/make_blob)
ExternalProject_Add(pagorix_host_tools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${host_dir}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DPAGORIX_TESTS=OFF -DPAGORIX_SANITIZE=OFF
             -DCMAKE_TOOLCHAIN_FILE= -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${host_dir} --target make_blob
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${PAGORIX_MAKE_BLOB}
  USES_TERMINAL_BUILD OFF)
set(PAGORIX_HOST_TOOLS pagorix_host_tools)
