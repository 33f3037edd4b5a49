# Sound heard end to end: recmake's tone in every audio codec, written to a record file and
# played through a channel into the sound module's WAV file and the decode callback.
# The AAC decoder module is looked for beside the player, then on the loader's path; a
# sanitizer's own dlopen hides this program's run path, so the path is given outright.
quvi_add_test(audio_tone_test
  SOURCES audio_tone_test.cpp
  LIBS quvi_player quvi_recmake_lib
  PROPERTIES ENVIRONMENT LD_LIBRARY_PATH=${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
if(TARGET audio_tone_test)
  # The AAC decoder module is loaded at run time, from beside the player or its path.
  add_dependencies(audio_tone_test KVAudioDecoder)
endif()
