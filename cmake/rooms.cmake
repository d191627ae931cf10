# rooms.cmake -- the game's rooms as libraries, and its assets: the one way
# every build (native, browser, Windows) makes them.
#
# The rooms, lowest floor first (docs/DEVELOPING.md draws them):
#   port      what the services stand on: the device interface, the back-end
#             in use, files and the process, the data folder, notice lines
#   sound     the sound table, synthesiser, mixer and cue queue
#   services  pages, images, BMP files, drawing, text, keyboard, clock,
#             random numbers, the fatal report, the game's events
#   game      the shell, the map and the actors (src/main, src/map, src/actors)
#   proof     what can be proved about a level: reachability, the prover
#   editor    the level editor: the level being edited, its tools and checks
#   platform  run control, recordings, settings, keys and the back-ends
#   program   the command line and the entry points (main.cpp, main_web.cpp)
# Each room is a static library that links only the room below it, and sees
# only the headers of its own floor and the floors below: its include folder
# (<build>/rooms/<room>/) holds links to those headers and nothing else, so
# an include of a higher room's header does not compile.  scripts/layers.py
# checks the same floors in the includes and in the calls between objects.

set(CLOVENFELD_ROOMS port sound services game proof editor platform program)
# The folders under src/ whose headers each room owns.  The program's files
# sit in src/main beside the shell's; they are named one by one.
set(CLOVENFELD_ROOM_FOLDERS_port port)
set(CLOVENFELD_ROOM_FOLDERS_sound sound)
set(CLOVENFELD_ROOM_FOLDERS_services services)
set(CLOVENFELD_ROOM_FOLDERS_game main map actors)
set(CLOVENFELD_ROOM_FOLDERS_proof proof)
set(CLOVENFELD_ROOM_FOLDERS_editor editor)
set(CLOVENFELD_ROOM_FOLDERS_platform platform)
set(CLOVENFELD_ROOM_FOLDERS_program "")
set(CLOVENFELD_PROGRAM_HEADERS main/options.h main/play_main.h main/prove_command.h main/verify_command.h)

# The headers (paths under src/) that room owns, into out.
function(_clovenfeld_room_headers room out)
  set(headers "")
  foreach(folder ${CLOVENFELD_ROOM_FOLDERS_${room}})
    file(GLOB found CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
    list(APPEND headers ${found})
  endforeach()
  if(room STREQUAL "program")
    set(headers ${CLOVENFELD_PROGRAM_HEADERS})
  else()
    list(REMOVE_ITEM headers ${CLOVENFELD_PROGRAM_HEADERS})
  endif()
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

# clovenfeld_add_rooms(SYSTEM posix|windows [ZIP target]): the libraries
# clovenfeld_port to clovenfeld_program, each linking the one below, with the
# system calls of that system in port, and its zip reader on the minizip
# library ZIP names (none given: the reader without zip support).  A back-end
# or a program links clovenfeld_program.
function(clovenfeld_add_rooms)
  cmake_parse_arguments(ARG "" "SYSTEM;ZIP" "" ${ARGN})
  string(TOUPPER "${ARG_SYSTEM}" system)
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/rooms)
  set(floors "")
  set(below "")
  foreach(room ${CLOVENFELD_ROOMS})
    string(TOUPPER ${room} ROOM)
    set(sources ${CLOVENFELD_${ROOM}_SOURCES})
    if(room STREQUAL "port")
      list(APPEND sources ${CLOVENFELD_PORT_${system}_SOURCES})
      if(ARG_ZIP)
        list(APPEND sources ${CLOVENFELD_PORT_ZIP_SOURCES})
      else()
        list(APPEND sources ${CLOVENFELD_PORT_NOZIP_SOURCES})
      endif()
    endif()
    list(TRANSFORM sources PREPEND ${CMAKE_SOURCE_DIR}/)
    add_library(clovenfeld_${room} STATIC ${sources})
    # Its include folder: the headers of this floor and every floor below.
    list(APPEND floors ${room})
    set(tree ${CMAKE_BINARY_DIR}/rooms/${room})
    foreach(floor ${floors})
      _clovenfeld_room_headers(${floor} headers)
      foreach(header ${headers})
        get_filename_component(folder ${tree}/${header} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${header} ${tree}/${header} SYMBOLIC)
      endforeach()
    endforeach()
    target_include_directories(clovenfeld_${room} PUBLIC ${tree})
    if(room STREQUAL "port" AND ARG_ZIP)
      target_link_libraries(clovenfeld_port PRIVATE ${ARG_ZIP})
    endif()
    if(below)
      target_link_libraries(clovenfeld_${room} PUBLIC clovenfeld_${below})
    endif()
    set(below ${room})
  endforeach()
  clovenfeld_embed_sounds(clovenfeld_sound)
endfunction()

# clovenfeld_add_assets(MKASSETS): the target `assets`, which turns the
# sprites, levels and icon (assets/*.txt) into gfx/ and levels/ in GAME_DIR
# and the icons (PNGs, clovenfeld.ico, icon_pixels.h) in ICON_DIR, with
# MKASSETS (the mkassets target, or a native mkassets' path).  The sounds are
# embedded in the program instead (sounds.cmake).
function(clovenfeld_add_assets mkassets)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/assets/*.txt)
  list(FILTER sources EXCLUDE REGEX "/assets/sounds/")
  set(icons icon_pixels.h clovenfeld.ico 16.png 32.png 48.png 64.png 128.png 192.png 256.png 512.png)
  list(TRANSFORM icons PREPEND ${ICON_DIR}/)
  add_custom_command(
    OUTPUT ${GAME_DIR}/assets.stamp ${icons}
    COMMAND ${mkassets} ${CMAKE_SOURCE_DIR}/assets ${GAME_DIR} ${ICON_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${GAME_DIR}/assets.stamp
    DEPENDS ${mkassets} ${sources}
    COMMENT "Building sprites, levels and icons from assets/")
  add_custom_target(assets ALL DEPENDS ${GAME_DIR}/assets.stamp)
endfunction()
