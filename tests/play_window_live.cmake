# The play window with a real live view: streamsim's server, the proxy module and the player
# library drawing into the window; its caption while connecting and its pictures while playing
# looked at in the window's pixels (and left as PNG files).
quvi_add_test(play_window_live_test
  SOURCES play_window_live_test.cpp picture_match.cpp
          ${PROJECT_SOURCE_DIR}/tools/streamsim/test_support.cpp
  LIBS quvi_streamsim_lib vdec_test_stream quvi_player_library quvi_viewer)
if(TARGET play_window_live_test)
  add_dependencies(play_window_live_test ZrPlayProxy ZrPlay_Standard)
  target_compile_definitions(play_window_live_test PRIVATE
    ZRPLAYPROXY_PATH="$<TARGET_FILE:ZrPlayProxy>"
    QUVI_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endif()
