# Fuzz build (clang and libFuzzer, CORVID_FUZZ=ON; `./corvid fuzz` configures build/fuzz
# with it): one entry per parser fed by the Agent, each linked with the portable core
# built under AddressSanitizer, UBSan and the fuzzer's coverage. Off in every other build.
option(CORVID_FUZZ "Build the libFuzzer entries in tests/fuzz (clang only)" OFF)
if(NOT CORVID_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "CORVID_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
find_package(OpenSSL REQUIRED)

set(CORVID_FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_library(corvid_fuzz_core STATIC ${CORVID_CORE_SOURCES})
target_include_directories(corvid_fuzz_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(corvid_fuzz_core PUBLIC ${CORVID_FUZZ_SANITIZE} PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(corvid_fuzz_core PUBLIC OpenSSL::Crypto)

# The entries are the files tests/fuzz/ENTRY_fuzz.cpp: a new file is a new entry, here and in
# ./corvid fuzz alike.
file(GLOB CORVID_FUZZ_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
set(CORVID_FUZZ_TARGETS)
foreach(file ${CORVID_FUZZ_FILES})
  get_filename_component(entry ${file} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" entry ${entry})
  add_executable(${entry}_fuzz tests/fuzz/${entry}_fuzz.cpp)
  target_compile_options(${entry}_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(${entry}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${entry}_fuzz PRIVATE corvid_fuzz_core)
  list(APPEND CORVID_FUZZ_TARGETS ${entry}_fuzz)
endforeach()
add_custom_target(corvid_fuzz DEPENDS ${CORVID_FUZZ_TARGETS})

# Seeds for the envelope entry (sealed for real); tests/fuzz/record_seeds.py runs it.
add_executable(envelope_seeds EXCLUDE_FROM_ALL tests/fuzz/envelope_seeds.cpp)
target_link_options(envelope_seeds PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_libraries(envelope_seeds PRIVATE corvid_fuzz_core)
