# The fault soak: live views against streamsim while every fault is thrown at them. A
# program (tests/soak); the suite runs a short version, its README section the long one.
if(QUVI_TESTS)
  add_library(quvi_soak_parts STATIC
    soak/fault_plan.cpp
    soak/hosted_view.cpp
    soak/log_check.cpp
    soak/process_figures.cpp)
  target_include_directories(quvi_soak_parts PUBLIC ${PROJECT_SOURCE_DIR})
  # A host links the control library and reaches it through its host interface only.
  target_link_libraries(quvi_soak_parts PUBLIC QuviLiveViewer QuviPlatform)

  add_executable(soak_faults soak/soak_faults.cpp ${QUVI_SANITIZER_SUPPRESSIONS})
  target_link_libraries(soak_faults PRIVATE quvi_soak_parts quvi_cli quvi_player_library)
  add_dependencies(soak_faults streamsim ZrPlayProxy ZrPlay_Standard)
  target_compile_definitions(soak_faults PRIVATE
    QUVI_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    ZRPLAYPROXY_PATH="$<TARGET_FILE:ZrPlayProxy>")
  # Two cycles of every fault: the second must leave threads and descriptors as the first.
  add_test(NAME soak_faults.short COMMAND soak_faults --cycles 2 --views 1)
  set_tests_properties(soak_faults.short PROPERTIES TIMEOUT 600)

  quvi_add_test(soak_parts_test SOURCES soak/soak_parts_test.cpp LIBS quvi_soak_parts)
endif()
