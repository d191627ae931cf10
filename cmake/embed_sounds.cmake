# embed_sounds.cmake -- run as `cmake -DSOUND_DIR=... -DOUT=... -P embed_sounds.cmake`:
# writes every SOUND_DIR/<name>.txt, in name order, each after a line
# "[name]", into OUT as one C++ raw string literal (the sound module
# includes it as the initialiser of its embedded text).
file(GLOB files ${SOUND_DIR}/*.txt)
list(SORT files)
set(body "")
foreach(f ${files})
  get_filename_component(name ${f} NAME_WE)
  file(READ ${f} text)
  string(APPEND body "[${name}]\n${text}\n")
endforeach()
string(FIND "${body}" ")SOUNDS\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "embed_sounds: the text of ${SOUND_DIR} holds the literal's end mark )SOUNDS\"")
endif()
file(WRITE ${OUT} "// Made by cmake/embed_sounds.cmake from assets/sounds/; do not edit.\nR\"SOUNDS(${body})SOUNDS\"\n")
