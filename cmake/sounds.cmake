# sounds.cmake -- builds the sound text (assets/sounds/*.txt) into the
# program: clovenfeld_embed_sounds(TARGET) makes <build>/generated/
# sounds_embedded.inc whenever a sound file (or the script) changes, and lets
# TARGET's sources include it (src/sound/sound.cpp does).  No file is read at
# run time.  Used by the top CMakeLists.txt and by web/CMakeLists.txt.
function(clovenfeld_embed_sounds target)
  file(GLOB sound_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/assets/sounds/*.txt)
  set(out ${CMAKE_BINARY_DIR}/generated/sounds_embedded.inc)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DSOUND_DIR=${CMAKE_SOURCE_DIR}/assets/sounds -DOUT=${out}
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_sounds.cmake
    DEPENDS ${sound_files} ${CMAKE_SOURCE_DIR}/cmake/embed_sounds.cmake
    COMMENT "Embedding the sounds from assets/sounds/")
  target_sources(${target} PRIVATE ${out})
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
endfunction()
