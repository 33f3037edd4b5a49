# A host program in C that loads the control library with dlopen and drives it through the
# public header only. Most cases load the copy with the stand-in window, so they need no server;
# live_view loads the deliverable and views streamsim's stream.
if(QUVI_TESTS)
  add_executable(host_api_test host_api/host_api_test.c ${QUVI_SANITIZER_SUPPRESSIONS})
  target_include_directories(host_api_test PRIVATE ${PROJECT_SOURCE_DIR}/viewer/control)
  target_link_libraries(host_api_test PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
  add_dependencies(host_api_test QuviLiveViewerTesting QuviLiveViewer)
  target_compile_definitions(host_api_test PRIVATE
    QUVI_TESTING_LIBRARY="$<TARGET_FILE:QuviLiveViewerTesting>"
    QUVI_LIBRARY="$<TARGET_FILE:QuviLiveViewer>"
    QUVI_STREAMSIM="$<TARGET_FILE:streamsim>"
    ZRPLAYPROXY_PATH="$<TARGET_FILE:ZrPlayProxy>"
    QUVI_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  add_dependencies(host_api_test streamsim ZrPlayProxy ZrPlay_Standard)
  foreach(case registration every_member wrong_arguments no_sink events_on_host_thread
               bounded_data_events exports
               created_by_the_registered_library live_view)
    add_test(NAME host_api.${case} COMMAND host_api_test ${case})
    set_tests_properties(host_api.${case} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
