# Sound heard end to end: recmake's tone in every audio codec, written to a record file and
# played through a channel into the sound module's WAV file and the decode callback.
# The AAC decoder module is looked for beside the player, then on the player's search path:
# this program holds the player itself, and its run path finds the module.
quvi_add_test(audio_tone_test
  SOURCES audio_tone_test.cpp
  LIBS quvi_player quvi_recmake_lib)
if(TARGET audio_tone_test)
  # The AAC decoder module is loaded at run time, from beside the player or its path.
  add_dependencies(audio_tone_test KVAudioDecoder)
endif()
