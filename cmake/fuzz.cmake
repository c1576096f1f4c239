# Fuzz build: one libFuzzer program per tests/fuzz/*_fuzz.cpp, over the portable core and the
# fake platform, with AddressSanitizer and UndefinedBehaviorSanitizer. Needs clang.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The fuzz build needs clang (libFuzzer); CMAKE_CXX_COMPILER is "
                      "${CMAKE_CXX_COMPILER_ID}")
endif()

# A sanitizer report aborts like a violated property, so that libFuzzer keeps the input.
set(fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)

# The core gets coverage instrumentation but not libFuzzer's main; the targets link both.
target_compile_options(vesk_core PRIVATE -fsanitize=fuzzer-no-link ${fuzz_sanitizers})

file(GLOB fuzz_sources CONFIGURE_DEPENDS tests/fuzz/*_fuzz.cpp)
foreach(source IN LISTS fuzz_sources)
  get_filename_component(target ${source} NAME_WE)
  add_executable(${target} ${source} ${fake_sources})
  target_include_directories(${target} PRIVATE tests)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
  target_link_libraries(${target} PRIVATE vesk_core nlohmann_json::nlohmann_json)
endforeach()
