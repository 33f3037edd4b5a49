# A live view from streamsim's server through the viewer, the proxy module and the player
# library into a window.
quvi_add_test(live_view_test
  SOURCES live_view_test.cpp picture_match.cpp
          ${PROJECT_SOURCE_DIR}/tools/streamsim/test_support.cpp
  LIBS quvi_streamsim_lib vdec_test_stream quvi_player_library)
if(TARGET live_view_test)
  add_dependencies(live_view_test ZrPlayProxy ZrPlay_Standard)
  target_compile_definitions(live_view_test PRIVATE
    ZRPLAYPROXY_PATH="$<TARGET_FILE:ZrPlayProxy>"
    QUVI_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endif()
