# Helpers that give every test, benchmark and fuzz target the same shape.

# One list of the outside libraries' own leak and race reports, built into every test and
# fuzz program.
set(QUVI_SANITIZER_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/support/sanitizer_suppressions.cpp)

# quvi_add_test(<name> SOURCES ... LIBS ... [PROPERTIES ...]): a GoogleTest program registered
# with CTest; PROPERTIES are extra test properties for every case (e.g. a RESOURCE_LOCK for
# cases that share a file beside the program).
function(quvi_add_test name)
  if(NOT QUVI_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${QUVI_SANITIZER_SUPPRESSIONS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()

# quvi_add_bench(<topic> SOURCES ... LIBS ...): a Google Benchmark program bench_<topic>.
function(quvi_add_bench topic)
  if(NOT QUVI_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${topic} ${ARG_SOURCES})
  target_link_libraries(bench_${topic} PRIVATE ${ARG_LIBS} benchmark::benchmark
                                               benchmark::benchmark_main)
endfunction()

# Outside the fuzz build, fuzz targets are linked with a main that replays files instead of
# libFuzzer's; the targets that build their inputs with FuzzedDataProvider get its header (one
# file, shipped with the clang runtime) from a folder of its own, as other compilers lack it.
if(QUVI_TESTS AND NOT QUVI_FUZZ)
  set(QUVI_FUZZ_CORPUS_DIR ${PROJECT_SOURCE_DIR}/fuzz/corpus)
  add_library(quvi_fuzz_replay STATIC ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  file(GLOB QUVI_FUZZED_DATA_PROVIDER
    /usr/lib/llvm-*/lib/clang/*/include/fuzzer/FuzzedDataProvider.h)
  if(NOT QUVI_FUZZED_DATA_PROVIDER)
    message(FATAL_ERROR "fuzzer/FuzzedDataProvider.h not found (Debian: libclang-rt-14-dev)")
  endif()
  list(GET QUVI_FUZZED_DATA_PROVIDER 0 QUVI_FUZZED_DATA_PROVIDER)
  configure_file(${QUVI_FUZZED_DATA_PROVIDER}
    ${CMAKE_BINARY_DIR}/fuzz_include/fuzzer/FuzzedDataProvider.h COPYONLY)
  target_include_directories(quvi_fuzz_replay SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/fuzz_include)
endif()

# quvi_add_fuzz(<topic> SOURCES ... LIBS ...): the target fuzz_<topic>. In the fuzz build it
# is a libFuzzer program. In every build with tests it replays the files given to it, and the
# test fuzz_replay_<topic> replays its corpus fuzz/corpus/<topic> (seeds and past findings),
# so what the fuzzer once found stays fixed. A target without a corpus fails that test.
function(quvi_add_fuzz topic)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(QUVI_FUZZ)
    add_executable(fuzz_${topic} ${ARG_SOURCES} ${QUVI_SANITIZER_SUPPRESSIONS})
    target_link_libraries(fuzz_${topic} PRIVATE ${ARG_LIBS})
    target_link_options(fuzz_${topic} PRIVATE -fsanitize=fuzzer)
  elseif(QUVI_TESTS)
    add_executable(fuzz_${topic} ${ARG_SOURCES} ${QUVI_SANITIZER_SUPPRESSIONS})
    target_link_libraries(fuzz_${topic} PRIVATE ${ARG_LIBS} quvi_fuzz_replay)
    set(corpus ${QUVI_FUZZ_CORPUS_DIR}/${topic})
    if(NOT IS_DIRECTORY ${corpus})
      message(WARNING "fuzz_${topic} has no seed corpus (${corpus}): fuzz_replay_${topic} fails")
    endif()
    add_test(NAME fuzz_replay_${topic} COMMAND fuzz_${topic} ${corpus})
    # The sanitizers' own dlopen hides the run path from modules the targets load by name.
    set_tests_properties(fuzz_replay_${topic} PROPERTIES TIMEOUT 120 LABELS fuzz
      ENVIRONMENT LD_LIBRARY_PATH=${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  endif()
endfunction()
