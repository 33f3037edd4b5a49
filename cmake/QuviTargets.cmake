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

# quvi_add_fuzz(<topic> SOURCES ... LIBS ...): a libFuzzer target fuzz_<topic>.
function(quvi_add_fuzz topic)
  if(NOT QUVI_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${topic} ${ARG_SOURCES} ${QUVI_SANITIZER_SUPPRESSIONS})
  target_link_libraries(fuzz_${topic} PRIVATE ${ARG_LIBS})
  target_link_options(fuzz_${topic} PRIVATE -fsanitize=fuzzer)
endfunction()
