# Tests that run the Windows build under Wine: the Win32 glue unit tests and the
# end-to-end runs of Corvid.exe with the console stand-in. They share one private
# Wine world (display, prefix, wineserver) set up as a ctest fixture, and run one at
# a time because they share its registry and named objects.
set(CORVID_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(CORVID_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/wine-env.sh)

add_test(NAME wine.world.up COMMAND ${CORVID_WINE_ENV} up ${CORVID_WINE_STATE})
set_tests_properties(wine.world.up PROPERTIES FIXTURES_SETUP wine_world RESOURCE_LOCK wine)
add_test(NAME wine.world.down COMMAND ${CORVID_WINE_ENV} down ${CORVID_WINE_STATE})
set_tests_properties(wine.world.down PROPERTIES FIXTURES_CLEANUP wine_world RESOURCE_LOCK wine)

# Wine's loader needs the shared user data page free: the world's programs run with
# address-space randomisation off (ADDR_NO_RANDOMIZE, 0x0040000), as the cases' children do.
add_test(NAME wine.world.no_randomisation
  COMMAND ${CORVID_WINE_ENV} run ${CORVID_WINE_STATE} sh -c "test $(( 0x$(cat /proc/self/personality) & 0x0040000 )) -ne 0")
set_tests_properties(wine.world.no_randomisation PROPERTIES FIXTURES_REQUIRED wine_world RESOURCE_LOCK wine)

add_test(NAME wine.unit
  COMMAND ${CORVID_WINE_ENV} run ${CORVID_WINE_STATE} ${CMAKE_SOURCE_DIR}/tests/wine/run-unit.sh
          ${CORVID_WIN64_DIR}/bin/corvid_wine_tests.exe
  WORKING_DIRECTORY ${CORVID_WIN64_DIR}/bin)
set_tests_properties(wine.unit PROPERTIES FIXTURES_REQUIRED wine_world RESOURCE_LOCK wine TIMEOUT 300
  PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]" FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")

# End-to-end cases: one ctest entry per case of each script.
file(GLOB CORVID_E2E_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script ${CORVID_E2E_SCRIPTS})
  get_filename_component(stem ${script} NAME_WE)
  string(REGEX REPLACE "^test_" "" group ${stem})
  file(STRINGS ${script} case_lines REGEX "^def case_")
  foreach(line ${case_lines})
    string(REGEX REPLACE "^def case_([a-z0-9_]+).*" "\\1" case ${line})
    add_test(NAME e2e.${group}.${case}
      COMMAND ${CORVID_WINE_ENV} run ${CORVID_WINE_STATE}
              ${Python3_EXECUTABLE} ${script} ${case}
              --bin ${CORVID_WIN64_DIR}/bin --work ${CMAKE_BINARY_DIR}/e2e --source ${CMAKE_SOURCE_DIR})
    set_tests_properties(e2e.${group}.${case} PROPERTIES FIXTURES_REQUIRED wine_world RESOURCE_LOCK wine TIMEOUT 180)
  endforeach()
endforeach()
