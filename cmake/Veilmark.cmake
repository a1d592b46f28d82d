# Build helpers shared by every folder.

set(VM_HOST_BUILD OFF)
if(NOT WIN32)
  set(VM_HOST_BUILD ON)
endif()

# Warnings and code generation common to all of our own targets.
function(vm_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  if(WIN32)
    # Frame pointers keep the crash reporter's stack walks exact; the static runtime
    # makes veilmark.exe a single file that runs on a clean Windows.
    target_compile_options(${target} PRIVATE -fno-omit-frame-pointer)
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    # Reproducible: two builds of one commit in two folders give the same bytes, so no link
    # time in the header and no build folder in the file (debug lines, __FILE__).
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  endif()
  if(VM_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# vm_library(name SOURCES ... [HOST_SOURCES ...] [WIN32_SOURCES ...] [LIBS ...])
# Portable sources build everywhere; the platform lists pick the side of each seam.
function(vm_library name)
  cmake_parse_arguments(A "" "" "SOURCES;HOST_SOURCES;WIN32_SOURCES;LIBS" ${ARGN})
  set(srcs ${A_SOURCES})
  if(WIN32)
    list(APPEND srcs ${A_WIN32_SOURCES})
  else()
    list(APPEND srcs ${A_HOST_SOURCES})
  endif()
  add_library(${name} STATIC ${srcs})
  vm_target_defaults(${name})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  if(VM_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  endif()
endfunction()

# vm_test(name SOURCES ... [HOST_SOURCES ...] [WIN32_SOURCES ...] [LIBS ...] [LABELS ...]
#         [WINDOWS | WINDOW_CASES filter] [LOCKS ...])
# One GoogleTest executable per folder: a Wine process start is costly, so many cases
# share one executable. Under Windows the test runs in the Wine harness, beside the others
# unless it opens windows (WINDOWS; see vm_wine_test_properties). WINDOW_CASES, a GoogleTest
# filter, names the only cases that do: they run as a second test, wine.<name>.windows.
function(vm_test name)
  if(VM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "WINDOWS" "WINDOW_CASES" "SOURCES;HOST_SOURCES;WIN32_SOURCES;LIBS;LABELS;LOCKS" ${ARGN})
  set(srcs ${A_SOURCES})
  if(WIN32)
    list(APPEND srcs ${A_WIN32_SOURCES})
  else()
    list(APPEND srcs ${A_HOST_SOURCES})
  endif()
  add_executable(${name} ${srcs})
  vm_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE VM_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
  if(WIN32 AND A_WINDOW_CASES)
    add_test(NAME wine.${name} COMMAND ${name} --gtest_filter=-${A_WINDOW_CASES})
    vm_wine_test_properties(wine.${name} LOCKS ${A_LOCKS} LABELS ${A_LABELS})
    add_test(NAME wine.${name}.windows COMMAND ${name} --gtest_filter=${A_WINDOW_CASES})
    vm_wine_test_properties(wine.${name}.windows WINDOWS LOCKS ${A_LOCKS} LABELS ${A_LABELS})
  elseif(WIN32)
    set(windows)
    if(A_WINDOWS)
      set(windows WINDOWS)
    endif()
    add_test(NAME wine.${name} COMMAND ${name})
    vm_wine_test_properties(wine.${name} ${windows} LOCKS ${A_LOCKS} LABELS ${A_LABELS})
  else()
    add_test(NAME host.${name} COMMAND ${name})
    set_tests_properties(host.${name} PROPERTIES LABELS "host;${A_LABELS}")
  endif()
endfunction()

# vm_fuzzer(name SOURCES ... LIBS ... [CORPUS dir]): a libFuzzer target, built in the fuzz preset.
# `make test` runs each briefly; `make fuzz` runs them long.
function(vm_fuzzer name)
  if(NOT VM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;CORPUS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  # Seeds for the corpus live beside the target's sources, in corpus/<name>/.
  if(A_CORPUS)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers/seeds)
    file(CREATE_LINK ${A_CORPUS} ${CMAKE_BINARY_DIR}/fuzzers/seeds/${name} SYMBOLIC)
  endif()
endfunction()

# vm_benchmark(name SOURCES ... LIBS ...): a Google Benchmark program, built in host-release.
function(vm_benchmark name)
  if(NOT VM_BENCH)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -O2)
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
