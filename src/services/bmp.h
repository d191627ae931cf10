// bmp.h -- reading and writing Windows bitmap files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Image;

// Reads the BMP file at path into target (null = the work page), clipped to
// the target's size; target pixels the file does not cover keep their value.
// Paths use "\" between directory and name; it is mapped to "/" here.  A
// relative path is read from the data folder chosen at start-up (datadir.h).
// Errors: 1 no screen open, 2 file not found, 3 not a readable BMP.
int load_bitmap(const char* path, Image* target);

// The same reader over bytes in memory (the fuzzer and tests use it).
int load_bitmap_from_memory(const uint8_t* data, size_t size, Image* target);

// Writes the work page as a 32-bit bottom-up BMP (54-byte header, 1228854
// bytes for 640 x 480), every pixel with alpha 0xFF whatever the page's alpha
// byte holds.  Writes the file whole or not at all (file_write_begin in
// system.h).  Errors: 2 cannot create, 3 write
// failed, 4 out of memory.
int save_bitmap(const char* path);
// The same, but never over a file already at path: then error 2 with errno
// EEXIST.  Called by save_screenshot.
int save_bitmap_new(const char* path);

// Room for the path of any game file: the longest data folder and a name.
enum { GAME_PATH_CHARS = 4096 + 64 };

// Opens a game file ("levels\\1.bmp") for reading from the data folder,
// naming it in path (size bytes).  Errors: 2 it cannot be opened (*file stays
// null), 1 its path does not fit in size (never a cut-off name).  Called by
// MAP_LOAD.
int open_game_file(const char* game_path, char* path, int size, std::FILE** file);

// Maps "\" to "/" in a game path; out must hold at least size bytes.
void native_path(const char* path, char* out, int size);
