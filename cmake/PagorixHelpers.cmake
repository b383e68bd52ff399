# Common compile settings for every target of the project.
function(pagorix_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(PAGORIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(PAGORIX_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(PAGORIX_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# pagorix_library(NAME DIR [DEPS ...]): a static library made of every .cpp in
# DIR (not recursive); the folder's public headers are included as
# "folder/header.h" from the src root.
function(pagorix_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_SOURCES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources AND NOT ARG_EXTRA_SOURCES)
    # A folder that has no code yet still gives a target, so that dependents link.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources} ${ARG_EXTRA_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  pagorix_settings(${name})
endfunction()

# pagorix_test(NAME DIR [DEPS ...]): one GoogleTest executable made of every
# .cpp in DIR, registered with CTest.
function(pagorix_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  # Files named *_posix_test.cpp or *_win32_test.cpp test one host only.
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32_test\\.cpp$")
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} pagorix_test_support GTest::gtest GTest::gtest_main)
  pagorix_settings(${name})
  if(CMAKE_CROSSCOMPILING)
    # Each test program is one test under the emulator: starting a program
    # there costs far more than its tests.
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
                     -DPROGRAM=$<TARGET_FILE:${name}> -DREPORT=${CMAKE_CURRENT_BINARY_DIR}/${name}.xml
                     -P ${PROJECT_SOURCE_DIR}/cmake/PagorixRunEmulated.cmake
             WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY PAGORIX_CROSS_TESTS ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "PAGORIX_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
    return()
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "PAGORIX_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    DISCOVERY_TIMEOUT 60)
endfunction()
