# sources.cmake -- the game's source files, room by room (rooms.cmake makes
# each room a library; docs/DEVELOPING.md draws the floors), shared by the
# native, browser and Windows builds.  Each room is a list of its own; a new
# file is added to its room's list here.

# The game: the shell, the map and the actors.  It reaches the outside world
# only through the services (and the shell's events through the run control).
set(CLOVENFELD_GAME_SOURCES
  src/main/shell.cpp
  src/main/snapshot.cpp
  src/main/title.cpp
  src/map/map_cells.cpp
  src/map/map_draw.cpp
  src/map/map_load.cpp
  src/actors/collide.cpp
  src/actors/duck.cpp
  src/actors/player.cpp
  src/actors/swan.cpp)

# What can be proved about a level: from its map as loaded, which eggs and
# seed the player can reach and the places he can never leave; by searching
# its real frames, key input that completes it.
set(CLOVENFELD_PROOF_SOURCES
  src/proof/prove.cpp
  src/proof/reach.cpp)

# The level editor: the level being edited, its tools, history and checks,
# its level files and proving it in the background (its Publish is in the
# platform room, below).
set(CLOVENFELD_EDITOR_SOURCES
  src/editor/edit_file.cpp
  src/editor/edit_level.cpp
  src/editor/edit_prove.cpp
  src/editor/editor.cpp
  src/editor/editor_main.cpp)

# What the services stand on: the device interface and the back-end in use,
# files and the process, where the data is, and the notice lines.  The system
# calls are POSIX here and Windows' own in the Windows build.
set(CLOVENFELD_PORT_SOURCES
  src/port/datadir.cpp
  src/port/platform.cpp
  src/port/notice.cpp
  src/port/system_write.cpp)
set(CLOVENFELD_PORT_POSIX_SOURCES src/port/process.cpp src/port/system.cpp)
set(CLOVENFELD_PORT_WINDOWS_SOURCES src/port/win32_process.cpp src/port/win32_system.cpp)
# The zip reader for packs: on minizip where the build has it (CLOVENFELD_ZIP),
# else the one that refuses every zip (packs as folders only).
set(CLOVENFELD_PORT_ZIP_SOURCES src/port/zip_read.cpp)
set(CLOVENFELD_PORT_NOZIP_SOURCES src/port/zip_read_none.cpp)

# The sounds: the catalogue of their ids and names, the text parser, the
# table built from the embedded text, the synthesiser, the mixer, the cue
# queue and the WAV header.  Pure code: no platform, no game.
set(CLOVENFELD_SOUND_SOURCES
  src/sound/cue_queue.cpp
  src/sound/sound.cpp
  src/sound/sound_catalogue.cpp
  src/sound/sound_device.cpp
  src/sound/sound_synth.cpp
  src/sound/sound_text.cpp
  src/sound/wav.cpp)

# What the game calls: pages, images, BMP files, drawing, text, keyboard,
# clock, random numbers and the fatal report.
set(CLOVENFELD_SERVICES_SOURCES
  src/services/assists.cpp
  src/services/bmp.cpp
  src/services/clock.cpp
  src/services/draw.cpp
  src/services/fatal.cpp
  src/services/game_events.cpp
  src/services/font_cp437.cpp
  src/services/image.cpp
  src/services/keyboard.cpp
  src/services/pointer.cpp
  src/services/random.cpp
  src/services/screen.cpp
  src/services/screenshot.cpp
  src/services/sha256.cpp
  src/services/text.cpp)

# Run control and what the back-ends share, without any window system: the
# run core, recordings, settings, the key codes, bindings, live key feed and
# routing, the pause overlay and banner, the audio feed, the window's layout
# arithmetic, Windows' key messages read as numbers (tested here too), the
# headless back-end, and the level editor's Publish (src/editor/edit_publish:
# it writes packs and reads proofs, which live on this floor).
set(CLOVENFELD_PLATFORM_SOURCES
  src/platform/audio_feed.cpp
  src/platform/audio_out.cpp
  src/platform/headless.cpp
  src/platform/key_route.cpp
  src/platform/bindings.cpp
  src/platform/keycodes.cpp
  src/platform/keymap.cpp
  src/platform/banner.cpp
  src/platform/overlay.cpp
  src/platform/viewer.cpp
  src/platform/assists_layer.cpp
  src/platform/session.cpp
  src/platform/pack.cpp
  src/platform/proof_file.cpp
  src/editor/edit_publish.cpp
  src/platform/record.cpp
  src/platform/records.cpp
  src/platform/run.cpp
  src/platform/settings.cpp
  src/platform/window_layout.cpp
  src/platform/win32_keys.cpp)

# The program: the command line (the entry points main.cpp and main_web.cpp
# are the programs' own sources).
set(CLOVENFELD_PROGRAM_SOURCES src/main/options.cpp src/main/pack_command.cpp src/main/prove_command.cpp src/main/verify_command.cpp)
set(CLOVENFELD_PROGRAM_ENTRIES src/main/main.cpp src/main/main_web.cpp)

# The back-ends with a window system: the only files that see SDL, emscripten or Windows.
# The window core (a second thread for the game) is shared by the SDL and Win32 back-ends.
set(CLOVENFELD_SDL_SOURCES src/platform/sdl_audio.cpp src/platform/sdl_window.cpp src/platform/window_core.cpp
    src/platform/window_picture.cpp)
set(CLOVENFELD_WEB_SOURCES src/platform/web.cpp)
# The Windows build's back-end (its system calls are port's, above).
set(CLOVENFELD_WINDOWS_SOURCES src/platform/win32_audio.cpp src/platform/win32_window.cpp src/platform/window_core.cpp
    src/platform/window_picture.cpp)
