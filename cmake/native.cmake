# Native build: the portable core under AddressSanitizer and UBSan, its GoogleTest
# suite, and the ctest entries that run the Windows build under Wine.
option(CORVID_SANITIZE "Build with AddressSanitizer and UBSan" ON)
if(CORVID_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_library(corvid_core STATIC ${CORVID_CORE_SOURCES})
target_include_directories(corvid_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(corvid_core PUBLIC OpenSSL::Crypto)

# Agent simulator: protocol logic in a library the native tests share, sockets in main.
add_library(agentsim_logic STATIC
  tools/agentsim/options.cpp
  tools/agentsim/session.cpp
  tools/agentsim/jsonlog.cpp
  tools/agentsim/control.cpp
  tools/agentsim/deskey.cpp
  tools/agentsim/pktnames.cpp
  tools/agentsim/encode.cpp
  tools/agentsim/desktop.cpp
  tools/agentsim/picture.cpp
  tools/agentsim/scene.cpp
  tools/agentsim/input.cpp
  tools/agentsim/cursor.cpp
  tools/agentsim/hostile.cpp
  tools/agentsim/settings.cpp
  tools/agentsim/files.cpp
  tools/agentsim/copy.cpp
  tools/agentsim/copydown.cpp
  tools/agentsim/console.cpp
)
target_link_libraries(agentsim_logic PUBLIC corvid_core OpenSSL::Crypto)
target_compile_definitions(agentsim_logic PRIVATE
  CORVID_AGENTSIM_DEFAULT_KEY="${CMAKE_SOURCE_DIR}/session/keys/agent-rsa512.pem")
add_executable(agentsim tools/agentsim/main.cpp tools/agentsim/net.cpp)
target_link_libraries(agentsim PRIVATE agentsim_logic)

# Benchmarks: `cmake --build build/native --target bench` builds and runs them.
add_executable(envelope_bench EXCLUDE_FROM_ALL bench/envelope_bench.cpp)
target_link_libraries(envelope_bench PRIVATE corvid_core)
add_executable(decode_bench EXCLUDE_FROM_ALL bench/decode_bench.cpp)
target_link_libraries(decode_bench PRIVATE corvid_core)
add_custom_target(bench COMMAND envelope_bench COMMAND decode_bench DEPENDS envelope_bench decode_bench
  USES_TERMINAL)

file(GLOB CORVID_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(corvid_native_tests ${CORVID_NATIVE_TESTS})
target_link_libraries(corvid_native_tests PRIVATE corvid_core agentsim_logic OpenSSL::Crypto
  GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(corvid_native_tests TEST_PREFIX "native.")

# The fuzz entries, each included in a namespace of its own, for the test that runs their
# seeds and reproducers: taken from the files tests/fuzz/ENTRY_fuzz.cpp, as everywhere.
file(GLOB CORVID_FUZZ_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
set(CORVID_FUZZ_INCLUDES "")
set(CORVID_FUZZ_LIST "")
foreach(file ${CORVID_FUZZ_FILES})
  get_filename_component(entry ${file} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" entry ${entry})
  string(APPEND CORVID_FUZZ_INCLUDES "#define LLVMFuzzerTestOneInput FuzzOne_${entry}\nnamespace fuzz_${entry} {\n"
         "#include \"tests/fuzz/${entry}_fuzz.cpp\"\n}\n#undef LLVMFuzzerTestOneInput\n")
  string(APPEND CORVID_FUZZ_LIST " X(${entry})")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/fuzz_entries.inc
     CONTENT "${CORVID_FUZZ_INCLUDES}#define CORVID_FUZZ_ENTRIES${CORVID_FUZZ_LIST}\n" @ONLY)

# The default colour tables as the resource script writes them, checked against the C++ ones.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/colours2.bin ${CMAKE_BINARY_DIR}/generated/colours16.bin
         ${CMAKE_BINARY_DIR}/generated/colours256.bin
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_colours.py ${CMAKE_BINARY_DIR}/generated
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_colours.py
  COMMENT "Writing the default colour tables" VERBATIM)
add_custom_target(corvid_colour_tables DEPENDS ${CMAKE_BINARY_DIR}/generated/colours256.bin)
add_dependencies(corvid_native_tests corvid_colour_tables)
target_compile_definitions(corvid_native_tests PRIVATE CORVID_GENERATED_DIR="${CMAKE_BINARY_DIR}/generated"
  CORVID_FUZZ_ENTRIES_FILE="${CMAKE_BINARY_DIR}/generated/fuzz_entries.inc")

add_test(NAME lang.check COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/native/lang_check.py ${CMAKE_SOURCE_DIR})
# One format for all C++ files: ./corvid format applies it.
add_test(NAME format.check COMMAND sh -c "git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror"
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
add_test(NAME resources.check COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/native/resources_check.py ${CMAKE_SOURCE_DIR})
# The compiled help file comes from the win64 build; without one only its sources are checked.
if(CORVID_WIN64_DIR)
  set(CORVID_HELP_CHM --chm ${CORVID_WIN64_DIR}/bin/Tlyhlpru.chm)
endif()
add_test(NAME help.check COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/native/help_check.py ${CMAKE_SOURCE_DIR} ${CORVID_HELP_CHM})

# Tests that need the Windows build: Wine unit tests and end-to-end runs of the .exe.
set(CORVID_WIN64_DIR "" CACHE PATH "Binary folder of the win64 build (enables the Wine tests)")
if(CORVID_WIN64_DIR)
  include(${CMAKE_SOURCE_DIR}/tests/wine/tests.cmake)
endif()
