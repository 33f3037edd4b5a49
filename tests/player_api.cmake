# The player library through dlopen, as any caller loads it.
quvi_add_test(player_api_test
  SOURCES player_api_test.cpp record_file_api_test.cpp picture_match.cpp
  LIBS quvi_player_library quvi_recmake_lib vdec_test_stream)
if(TARGET player_api_test)
  add_dependencies(player_api_test ZrPlay_Standard)
  target_include_directories(player_api_test PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(player_api_test PRIVATE
    ZRPLAY_LIBRARY_PATH="$<TARGET_FILE:ZrPlay_Standard>"
    QUVI_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endif()
