# Windows build with MinGW-w64: statically linked so the bin folder runs as it is.
enable_language(RC)
set(CORVID_OPENSSL_ROOT "" CACHE PATH "Cross-built OpenSSL (libcrypto) for mingw64")
add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR} -I${CMAKE_BINARY_DIR}/resources")

if(NOT CORVID_OPENSSL_ROOT)
  message(FATAL_ERROR "CORVID_OPENSSL_ROOT must name the cross-built OpenSSL (scripts/openssl-mingw.sh)")
endif()
add_library(corvid_crypto STATIC IMPORTED)
set_target_properties(corvid_crypto PROPERTIES
  IMPORTED_LOCATION ${CORVID_OPENSSL_ROOT}/lib/libcrypto.a
  INTERFACE_INCLUDE_DIRECTORIES ${CORVID_OPENSSL_ROOT}/include
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;user32;advapi32")

add_library(corvid_core STATIC ${CORVID_CORE_SOURCES})
target_include_directories(corvid_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(corvid_core PUBLIC corvid_crypto)


# Win32 glue shared by the program and its Wine unit tests.
add_library(corvid_win STATIC
  agentsettings/dialogs_win.cpp
  agentsettings/protocolpage_win.cpp
  agentsettings/session_win.cpp
  agentsettings/sheet_win.cpp
  console/console_win.cpp
  console/pad_win.cpp
  desktop/clipboard_win.cpp
  filetransfer/frame_win.cpp
  filetransfer/copy_win.cpp
  filetransfer/upload_win.cpp
  filetransfer/download_win.cpp
  filetransfer/ftbox_win.cpp
  filetransfer/newfolder_win.cpp
  filetransfer/properties_win.cpp
  filetransfer/rename_win.cpp
  filetransfer/operation_win.cpp
  filetransfer/delete_win.cpp
  filetransfer/locallist_win.cpp
  filetransfer/panel_win.cpp
  filetransfer/remotelist_win.cpp
  filetransfer/request_win.cpp
  filetransfer/probe_win.cpp
  filetransfer/shellicon_win.cpp
  filetransfer/drag_win.cpp
  filetransfer/droptarget_win.cpp
  filetransfer/pastefiles_win.cpp
  filetransfer/dataobject_win.cpp
  filetransfer/dropsource_win.cpp
  filetransfer/compare_win.cpp
  filetransfer/panelmenu_win.cpp
  filetransfer/route_win.cpp
  desktop/fullscreen_win.cpp
  desktop/screen_win.cpp
  desktop/screenchoice_win.cpp
  desktop/input_win.cpp
  desktop/cursor_win.cpp
  desktop/packets_win.cpp
  desktop/update_win.cpp
  shell/profile_win.cpp
  desktop/view_win.cpp
  session/login_win.cpp
  session/receive_win.cpp
  session/seed_win.cpp
  session/sendqueue_win.cpp
  session/transport_win.cpp
  shell/commands_win.cpp
  shell/commandstate_win.cpp
  shell/language_win.cpp
  shell/log_win.cpp
  shell/mainwindow_win.cpp
  shell/managerlink_win.cpp
  shell/msgbox_win.cpp
  shell/notify_win.cpp
  shell/post_win.cpp
  shell/report_win.cpp
  shell/settings_win.cpp
  shell/startup_win.cpp
  shell/strings_win.cpp
  shell/wiring_win.cpp
  ui/dpi_win.cpp
  ui/help_win.cpp
  ui/libversion_win.cpp
  ui/listview_win.cpp
  ui/logo_win.cpp
  ui/sendmsg_win.cpp
  ui/syserror_win.cpp
  ui/sysinfo_win.cpp
  ui/toolbar_win.cpp
  ui/windowfailure_win.cpp
)
target_link_libraries(corvid_win PUBLIC corvid_core comctl32 ole32 uuid shlwapi shell32 user32 gdi32 advapi32 ws2_32 bcrypt)

# Icons, the toolbar strip and the connect animation are drawn by scripts, not kept
# as binaries.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CORVID_ICONS ${CMAKE_BINARY_DIR}/resources/corvid.ico ${CMAKE_BINARY_DIR}/resources/password.ico
  ${CMAKE_BINARY_DIR}/resources/toolbar.bmp ${CMAKE_BINARY_DIR}/resources/connect.avi ${CMAKE_BINARY_DIR}/resources/delete.avi
  ${CMAKE_BINARY_DIR}/resources/copy.avi
  ${CMAKE_BINARY_DIR}/resources/viewpattern.bmp ${CMAKE_BINARY_DIR}/resources/handdrag.cur
  ${CMAKE_BINARY_DIR}/resources/colours2.bin ${CMAKE_BINARY_DIR}/resources/colours16.bin
  ${CMAKE_BINARY_DIR}/resources/colours256.bin ${CMAKE_BINARY_DIR}/resources/console_toolbar.bmp
  ${CMAKE_BINARY_DIR}/resources/ft_toolbar.bmp ${CMAKE_BINARY_DIR}/resources/ft_pad.bmp
  ${CMAKE_BINARY_DIR}/resources/marker.ico ${CMAKE_BINARY_DIR}/resources/logo.bmp
  ${CMAKE_BINARY_DIR}/resources/light0_on.ico ${CMAKE_BINARY_DIR}/resources/light0_off.ico
  ${CMAKE_BINARY_DIR}/resources/light1_on.ico ${CMAKE_BINARY_DIR}/resources/light1_off.ico
  ${CMAKE_BINARY_DIR}/resources/light2_on.ico ${CMAKE_BINARY_DIR}/resources/light2_off.ico
  ${CMAKE_BINARY_DIR}/resources/drive_removable.ico ${CMAKE_BINARY_DIR}/resources/drive_fixed.ico
  ${CMAKE_BINARY_DIR}/resources/drive_cdrom.ico ${CMAKE_BINARY_DIR}/resources/drive_ram.ico
  ${CMAKE_BINARY_DIR}/resources/drive_remote.ico ${CMAKE_BINARY_DIR}/resources/drag_many.ico
  ${CMAKE_BINARY_DIR}/resources/drag_nodrop.cur ${CMAKE_BINARY_DIR}/resources/drag_drop.cur)
add_custom_command(OUTPUT ${CORVID_ICONS}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_icons.py ${CMAKE_BINARY_DIR}/resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_bitmaps.py ${CMAKE_BINARY_DIR}/resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_avi.py ${CMAKE_BINARY_DIR}/resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_view.py ${CMAKE_BINARY_DIR}/resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_colours.py ${CMAKE_BINARY_DIR}/resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/make_fticons.py ${CMAKE_BINARY_DIR}/resources
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icons.py ${CMAKE_SOURCE_DIR}/resources/make_bitmaps.py
          ${CMAKE_SOURCE_DIR}/resources/make_avi.py ${CMAKE_SOURCE_DIR}/resources/make_view.py
          ${CMAKE_SOURCE_DIR}/resources/make_colours.py ${CMAKE_SOURCE_DIR}/resources/make_fticons.py)
add_custom_target(corvid_icons DEPENDS ${CORVID_ICONS})
# windres does not report the files it embeds: redo the resources when one changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/corvid.rc PROPERTIES OBJECT_DEPENDS
  "${CORVID_ICONS};${CMAKE_SOURCE_DIR}/resources/corvid.manifest")

# Keyboard hook libraries, linked at load time; the .def files fix the export names.
add_library(LLkbd SHARED hooks/llkbd_win.cpp hooks/llkbd.def)
add_library(kbdhook SHARED hooks/kbdhook_win.cpp hooks/kbdhook.def)
foreach(hook LLkbd kbdhook)
  target_include_directories(${hook} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${hook} PRIVATE user32)
  set_target_properties(${hook} PROPERTIES PREFIX "" IMPORT_PREFIX "" OUTPUT_NAME ${hook})
endforeach()

add_executable(Corvid WIN32 shell/entry_win.cpp resources/corvid.rc)
target_link_libraries(Corvid PRIVATE corvid_win LLkbd kbdhook)
add_dependencies(Corvid corvid_icons)

# Language libraries: resource-only DLLs without an entry point.
foreach(lang en ru)
  set(obj ${CMAKE_BINARY_DIR}/lang/cvres${lang}.o)
  set(dll ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/cvres${lang}.dll)
  add_custom_command(OUTPUT ${dll}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lang
    COMMAND ${CMAKE_RC_COMPILER} -I${CMAKE_SOURCE_DIR} -i ${CMAKE_SOURCE_DIR}/lang/cvres${lang}.rc -o ${obj}
    COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -nostartfiles -s -Wl,-e,0 -Wl,--subsystem,windows -o ${dll} ${obj}
    DEPENDS ${CMAKE_SOURCE_DIR}/lang/cvres${lang}.rc ${CMAKE_SOURCE_DIR}/lang/stringids.h
            ${CMAKE_SOURCE_DIR}/shell/commands.h)
  add_custom_target(cvres${lang} ALL DEPENDS ${dll})
  add_dependencies(Corvid cvres${lang})
endforeach()

# Help file beside the program, compiled from help/ (chmcmd writes into its working
# directory).
find_program(CORVID_CHMCMD chmcmd REQUIRED)
file(GLOB CORVID_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*)
file(MAKE_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Tlyhlpru.chm
  COMMAND ${CORVID_CHMCMD} --verbosity 0 ${CMAKE_SOURCE_DIR}/help/Tlyhlpru.hhp
  WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  DEPENDS ${CORVID_HELP_SOURCES}
  COMMENT "Compiling the help file" VERBATIM)
add_custom_target(corvid_help ALL DEPENDS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Tlyhlpru.chm)

# The shipped zip and installer (package/), packed again whenever a shipped file changes;
# `./corvid package` copies them to dist/.
find_program(CORVID_WIXL wixl REQUIRED)
set(CORVID_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(CORVID_PACKAGE_SOURCES ${CMAKE_SOURCE_DIR}/package/make_package.py ${CMAKE_SOURCE_DIR}/package/corvid.wxs
  ${CMAKE_SOURCE_DIR}/package/README.txt)
add_custom_command(OUTPUT ${CORVID_DIST_DIR}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CORVID_DIST_DIR}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/package/make_package.py
          --bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} --out ${CORVID_DIST_DIR} --strip ${CMAKE_STRIP}
  COMMAND ${CMAKE_COMMAND} -E touch ${CORVID_DIST_DIR}/stamp
  DEPENDS Corvid LLkbd kbdhook ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/cvresen.dll
          ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/cvresru.dll ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Tlyhlpru.chm
          ${CMAKE_BINARY_DIR}/resources/corvid.ico ${CORVID_PACKAGE_SOURCES}
  COMMENT "Packing the zip and the installer" VERBATIM)
add_custom_target(corvid_dist ALL DEPENDS ${CORVID_DIST_DIR}/stamp)

add_executable(tallydesk-stub WIN32 tools/tallydesk-stub/stub_win.cpp tools/tallydesk-stub/ftpanel_win.cpp)
target_link_libraries(tallydesk-stub PRIVATE corvid_core user32 comctl32 psapi)
# A drop target and paster standing in for Explorer in the end-to-end tests.
add_executable(droptarget WIN32 tools/droptarget/droptarget_win.cpp)
target_link_libraries(droptarget PRIVATE ole32 uuid shell32 user32 gdi32 bcrypt)

# GoogleTest cross-built from Debian's sources for the Win32 glue tests.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
file(GLOB CORVID_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
list(APPEND CORVID_WINE_TESTS ${CMAKE_SOURCE_DIR}/tests/wine/viewer_fixture.cpp)
add_executable(corvid_wine_tests ${CORVID_WINE_TESTS})
target_link_libraries(corvid_wine_tests PRIVATE corvid_win gtest gtest_main LLkbd kbdhook)

# A test program that drags files into the viewer and puts them on the clipboard, as
# Explorer does (the drop and paste cases); not shipped.
add_executable(dragsource WIN32 tools/dragsource/dragsource_win.cpp)
target_link_libraries(dragsource PRIVATE ole32 shell32 user32)
