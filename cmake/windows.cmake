# Windows build: the program, its batch file, the Win32 layer's test program and the small
# tools that the end-to-end tests run under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# mingw's g++ 12 at -O2 and above reports -Wrestrict falsely for "literal" + std::string; every
# target that builds on the core gets the option with it.
target_compile_options(vesk_core PUBLIC -Wno-restrict)
set(win32_libs user32 shell32 advapi32 userenv)
set(static_runtime -static -static-libgcc -static-libstdc++)

# Most runs show no box and use no shell copy, yet loading user32 and shell32 (with gdi32, imm32
# and the display driver behind them) at start costs every run time and memory. The Win32 layer
# therefore takes them through delay-load import libraries: each DLL is loaded at the first call
# of one of its functions. The .def files list the functions used. The compiler links user32
# and shell32 by default, so a function missing there would quietly bring back the import at
# start: the check after the link fails the build then.
set(delay_load_libs)
foreach(dll user32 shell32)
  set(def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(lib ${CMAKE_BINARY_DIR}/lib${dll}_delay.a)
  # Run in the build folder: dlltool names the library's symbols after the path it is given.
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib lib${dll}_delay.a
    DEPENDS ${def}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Making the delay-load import library of ${dll}"
    VERBATIM)
  list(APPEND delay_load_libs ${lib})
endforeach()
add_custom_target(delay_load_libs DEPENDS ${delay_load_libs})

# The Win32 layer, one file per area of the platform.
add_library(vesk_win32 STATIC
  src/platform/win32/crash_win32.cpp
  src/platform/win32/desktop_win32.cpp
  src/platform/win32/event_log_win32.cpp
  src/platform/win32/files_win32.cpp
  src/platform/win32/processes_win32.cpp
  src/platform/win32/registry_win32.cpp
  src/platform/win32/system_win32.cpp
  src/platform/win32/trees_win32.cpp
  src/platform/win32/win32_platform.cpp)
add_dependencies(vesk_win32 delay_load_libs)
target_link_libraries(vesk_win32 PUBLIC vesk_core ${delay_load_libs} advapi32 userenv)

# The message table that Event Viewer takes the text of the run's entries from: windmc makes
# its header, for the Event Log area, and a resource script with the table, for the exe. -b
# names the table after the .mc, so that windres never picks up a stale MSG00409.bin.
find_program(VESK_WINDMC NAMES x86_64-w64-mingw32-windmc REQUIRED)
set(messages_dir ${CMAKE_BINARY_DIR}/messages)
set(messages_out ${messages_dir}/messages.h ${messages_dir}/messages.rc
                 ${messages_dir}/messages_MSG00409.bin)
add_custom_command(
  OUTPUT ${messages_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${messages_dir}
  COMMAND ${VESK_WINDMC} -b -c -h ${messages_dir} -r ${messages_dir}
          ${CMAKE_SOURCE_DIR}/src/messages.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/src/messages.mc
  COMMENT "Making the message table from src/messages.mc"
  VERBATIM)
add_custom_target(messages DEPENDS ${messages_out})
add_dependencies(vesk_win32 messages)
target_include_directories(vesk_win32 PRIVATE ${messages_dir})

add_executable(veskbackup WIN32 src/main.cpp)
target_link_libraries(veskbackup PRIVATE vesk_win32)
add_custom_command(
  TARGET veskbackup POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAM=$<TARGET_FILE:veskbackup>
          -DLOAD_ON_FIRST_USE=USER32.dll$<SEMICOLON>SHELL32.dll
          -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake
  VERBATIM)
target_link_options(veskbackup PRIVATE ${static_runtime})
configure_file(src/veskbackup.bat ${CMAKE_BINARY_DIR}/veskbackup.bat COPYONLY)

# The version resource that Explorer shows in the file's properties.
enable_language(RC)
configure_file(src/veskbackup.rc.in ${CMAKE_BINARY_DIR}/veskbackup.rc @ONLY)
target_sources(veskbackup PRIVATE ${CMAKE_BINARY_DIR}/veskbackup.rc)
target_include_directories(veskbackup PRIVATE ${messages_dir})
set_source_files_properties(${CMAKE_BINARY_DIR}/veskbackup.rc PROPERTIES
                            OBJECT_DEPENDS "${messages_out}")

# Test tools, one .exe per file.
file(GLOB tool_sources CONFIGURE_DEPENDS tests/tools/*.cpp)
foreach(tool_source ${tool_sources})
  get_filename_component(tool ${tool_source} NAME_WE)
  add_executable(${tool} ${tool_source})
  target_link_libraries(${tool} PRIVATE ${win32_libs})
  target_link_options(${tool} PRIVATE ${static_runtime})
endforeach()

# The Win32 layer's own tests, built with GoogleTest from Debian's sources (libgtest-dev) and
# run by ctest under Wine: tests/win32/run.sh starts the program in a throwaway Wine prefix.
set(VESK_GTEST_SOURCE_DIR /usr/src/googletest/googletest
    CACHE PATH "GoogleTest's sources, which the Win32 layer's tests are built with")
if(NOT EXISTS ${VESK_GTEST_SOURCE_DIR}/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest's sources are not in ${VESK_GTEST_SOURCE_DIR} (no "
                      "src/gtest-all.cc): install libgtest-dev, or set VESK_GTEST_SOURCE_DIR. "
                      "The Win32 layer's tests cannot be built without them.")
endif()
add_library(gtest_win STATIC ${VESK_GTEST_SOURCE_DIR}/src/gtest-all.cc)
target_include_directories(gtest_win PUBLIC ${VESK_GTEST_SOURCE_DIR}/include
                                     PRIVATE ${VESK_GTEST_SOURCE_DIR})
target_compile_options(gtest_win PRIVATE -w)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/win32/run.sh)
add_executable(win32_tests
  tests/win32/main.cpp
  tests/win32/crash_win32_test.cpp
  tests/win32/desktop_win32_test.cpp
  tests/win32/event_log_win32_test.cpp
  tests/win32/files_win32_test.cpp
  tests/win32/processes_win32_test.cpp
  tests/win32/registry_views_win32_test.cpp
  tests/win32/registry_win32_test.cpp
  tests/win32/system_win32_test.cpp
  tests/win32/trees_win32_test.cpp)
target_link_libraries(win32_tests PRIVATE vesk_win32 gtest_win)
# The Event Log's test reads the message table of the exe beside it.
add_dependencies(win32_tests veskbackup)
target_link_options(win32_tests PRIVATE ${static_runtime})
enable_testing()
# One test for the whole program: each start under Wine makes a prefix of its own.
add_test(NAME win32_tests COMMAND win32_tests)
set_tests_properties(win32_tests PROPERTIES TIMEOUT 900)

# The test tools that read version resources and process memory counters.
target_link_libraries(versioninfo PRIVATE version)
target_link_libraries(peakmem PRIVATE psapi)

# The release's text files, for Notepad, all with CR LF line endings: README.txt, made by pandoc
# from the administrator's sections of README.md whenever either changes; LICENSE; the nightly
# task's definition, in UTF-16 with a byte order mark, the form that Task Scheduler writes and
# schtasks /create /xml reads; the .reg file that registers the Event Log source; and the status
# file's schema.
set(release_files LICENSE veskbackup.bat veskbackup.exe veskbackup-task.xml
                  veskbackup-eventlog.reg veskbackup-status.schema.json)
list(JOIN release_files "," release_file_list)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/README.txt
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/README.md
          -DOUTPUT=${CMAKE_BINARY_DIR}/README.txt -DVERSION=${PROJECT_VERSION}
          -DTITLE=${PROJECT_DESCRIPTION} -DRELEASE_FILES=${release_file_list}
          -P ${CMAKE_SOURCE_DIR}/cmake/readme_txt.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/cmake/readme_txt.cmake
          ${CMAKE_SOURCE_DIR}/cmake/readme_txt.lua
  COMMENT "Making README.txt from README.md"
  VERBATIM)
configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE @ONLY NEWLINE_STYLE CRLF)
configure_file(src/veskbackup-eventlog.reg ${CMAKE_BINARY_DIR}/veskbackup-eventlog.reg COPYONLY)
configure_file(src/veskbackup-status.schema.json ${CMAKE_BINARY_DIR}/veskbackup-status.schema.json
               @ONLY NEWLINE_STYLE CRLF)
# glibc's iconv writes UTF-16 with a byte order mark, in the machine's (little-endian) order.
find_program(VESK_ICONV iconv REQUIRED)
configure_file(src/veskbackup-task.xml.in ${CMAKE_BINARY_DIR}/veskbackup-task.utf8.xml @ONLY
               NEWLINE_STYLE CRLF)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/veskbackup-task.xml
  COMMAND ${VESK_ICONV} -f UTF-8 -t UTF-16 -o ${CMAKE_BINARY_DIR}/veskbackup-task.xml
          ${CMAKE_BINARY_DIR}/veskbackup-task.utf8.xml
  DEPENDS ${CMAKE_BINARY_DIR}/veskbackup-task.utf8.xml
  COMMENT "Making veskbackup-task.xml in UTF-16"
  VERBATIM)
add_custom_target(release_text ALL
                  DEPENDS ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/veskbackup-task.xml)

# The release: `cmake --build --preset windows --target package` makes
# veskbackup-<version>-win64.zip with the exe, its batch file, README.txt, LICENSE, the task's
# definition, the Event Log's .reg file, the status file's schema and SHA256SUMS at the top.
install(TARGETS veskbackup RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/veskbackup.bat ${CMAKE_BINARY_DIR}/README.txt
              ${CMAKE_BINARY_DIR}/LICENSE ${CMAKE_BINARY_DIR}/veskbackup-task.xml
              ${CMAKE_BINARY_DIR}/veskbackup-eventlog.reg
              ${CMAKE_BINARY_DIR}/veskbackup-status.schema.json DESTINATION .)
# SHA256SUMS is made from the files as they are installed, so from the exe after the package
# step has stripped it: made from the build folder, it would not match the zip. Its lines are
# those that `sha256sum -c` reads (the hash, two blanks, the name) with LF endings, since that
# tool takes a CR for part of the name; PowerShell's Get-Content reads either ending.
install(CODE "set(release_files \"${release_files};README.txt\")")
install(CODE [[
  set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  list(SORT release_files)
  set(sums "")
  foreach(name IN LISTS release_files)
    file(SHA256 "${installed}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
  endforeach()
  file(WRITE "${installed}/SHA256SUMS" "${sums}")
]])
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "veskbackup-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
