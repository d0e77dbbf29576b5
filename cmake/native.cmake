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

file(GLOB CORVID_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(corvid_native_tests ${CORVID_NATIVE_TESTS})
target_link_libraries(corvid_native_tests PRIVATE corvid_core GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(corvid_native_tests TEST_PREFIX "native.")

add_test(NAME lang.check COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/native/lang_check.py ${CMAKE_SOURCE_DIR})

# Tests that need the Windows build: Wine unit tests and end-to-end runs of the .exe.
set(CORVID_WIN64_DIR "" CACHE PATH "Binary folder of the win64 build (enables the Wine tests)")
if(CORVID_WIN64_DIR)
  include(${CMAKE_SOURCE_DIR}/tests/wine/tests.cmake)
endif()
