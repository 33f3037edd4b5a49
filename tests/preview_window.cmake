# The preview window with a real live view: streamsim's server, the viewer, the proxy module,
# the player library and its renderer drawing into the window; digital zoom and the watermark
# looked at in the window's pixels (and left as PNG files).
quvi_add_test(preview_window_view_test
  SOURCES preview_window_view_test.cpp picture_match.cpp
          ${PROJECT_SOURCE_DIR}/tools/streamsim/test_support.cpp
  LIBS quvi_streamsim_lib vdec_test_stream quvi_player_library)
if(TARGET preview_window_view_test)
  add_dependencies(preview_window_view_test ZrPlayProxy ZrPlay_Standard)
  target_compile_definitions(preview_window_view_test PRIVATE
    ZRPLAYPROXY_PATH="$<TARGET_FILE:ZrPlayProxy>"
    QUVI_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endif()
