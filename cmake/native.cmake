# Native build: the core and its unit tests against the fake platform.

# The fakes of the platform's areas, shared by the unit tests and the fuzz targets.
set(fake_sources
  tests/fake/fake_desktop.cpp
  tests/fake/fake_file_system.cpp
  tests/fake/fake_files.cpp
  tests/fake/fake_processes.cpp
  tests/fake/fake_registry.cpp
  tests/fake/fake_system.cpp
  tests/fake/fake_text.cpp
  tests/fake/fake_trees.cpp)
option(VESK_FUZZ "Build the libFuzzer targets (clang) instead of the unit tests" OFF)
if(VESK_FUZZ)
  include(cmake/fuzz.cmake)
  return()
endif()

if(VESK_SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(vesk_core PUBLIC ${sanitize_flags})
  target_link_options(vesk_core PUBLIC ${sanitize_flags})
endif()

find_package(GTest REQUIRED)
enable_testing()

file(GLOB_RECURSE unit_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit_tests ${fake_sources} ${unit_sources})
target_include_directories(unit_tests PRIVATE tests)
target_link_libraries(unit_tests PRIVATE vesk_core GTest::gtest GTest::gtest_main
                                         nlohmann_json::nlohmann_json)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)
