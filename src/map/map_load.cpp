// map_load.cpp -- the cell table, the cell sprites and reading a level file.
//
// A level file is a small 8-bit bottom-up bitmap: every pixel is one 32 x 32
// map cell and its palette index is the cell code.  MAP_LOAD wipes the table,
// reads the file's header and up to 1001 cell bytes into fixed buffers, turns
// the rows top-down (MAP_FLIP) and fills the table row by row from the top.
// Swan, duck and player-start pixels are handed to their modules and leave
// empty cells; lifts start moving down (vertical) or right (horizontal).
#include "map/map.h"

#include <cstdint>
#include <cstdio>

#include "actors/duck.h"
#include "actors/player.h"
#include "actors/swan.h"
#include "services/bmp.h"
#include "services/fatal.h"
#include "services/image.h"

static constexpr const char MODULE_NAME[] = "map";

Table<MapCell, CELL_TABLE_SIZE> cells;
unsigned cells_stamp = 0;
Table<unsigned char, LEVEL_BYTES_SIZE> level_bytes;
Table<Image*, CELL_IMAGE_SLOTS> cell_images;
int map_width = 0, map_height = 0, last_cell = -1;
int scroll_x = 0, scroll_y = 0;

namespace {

constexpr uint32_t CELL_FILL = 0xFF64FF64;
constexpr int HEADER_BYTES = 54;

// MAP_FLIP's scratch copy of the cell bytes; W x H + 1 bytes are used, and a
// level never holds more than 1000 cells, so a fixed table of 1001 serves.
Table<unsigned char, LEVEL_BYTES_SIZE> flip_scratch;

// Little-endian 32-bit field of the header at offset at.
uint32_t read_u32(const unsigned char* bytes, int at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Reads up to size bytes from offset into out; bytes the file does not have
// stay 0.  Called by MAP_LOAD for the header and for the cell bytes.
void read_at(std::FILE* file, uint32_t offset, unsigned char* out, int size) {
    for (int k = 0; k < size; k++) out[k] = 0;
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return;
    const size_t got = std::fread(out, 1, static_cast<size_t>(size), file);
    (void)got; // a short read leaves the rest 0
}

// Puts the player at the screen centre over the start cell (col, row) and
// moves the map under it, stopping the view at the map's edges; the player
// moves off centre instead.  Called by MAP_LOAD for a player-start pixel.
void place_player(int col, int row) {
    const int64_t map_px_x = 32LL * col;
    const int64_t map_px_y = 32LL * row;
    int64_t sx = 288 - map_px_x, sy = 224 - map_px_y;
    int64_t px = 288, py = 224;
    // A start near the top-left would leave the map short of the screen's
    // corner: keep the view at 0 and move the player instead.
    if (sx > 0) { px = map_px_x; sx = 0; }
    if (sy > 0) { py = map_px_y; sy = 0; }
    // At the right and bottom edges the view stops too.
    if (sx < -640) { px = map_px_x - 640; sx = -640; }
    const int64_t bottom = 480 - 32LL * map_height;
    if (sy < bottom) { py = map_px_y + bottom; sy = bottom; }
    player_x = static_cast<int>(px);
    player_y = static_cast<int>(py);
    scroll_x = static_cast<int>(sx);
    scroll_y = static_cast<int>(sy);
    start_x = player_x;
    start_y = player_y;
    start_scroll_x = scroll_x;
    start_scroll_y = scroll_y;
}

} // namespace

void MAP_CREATE_TABLE() {
    PROC("MAP_CREATE_TABLE");
    for (int k = 0; k < CELL_TABLE_SIZE; k++) cells[k] = MapCell{};
    last_cell = -1;
}

void MAP_INIT() {
    PROC("MAP_INIT");
    for (int slot = 0; slot < CELL_IMAGE_SLOTS; slot++) {
        int err = 0;
        cell_images[slot] = create_image(32, 32, CELL_FILL, &err);
        // A missing image would make load_bitmap write the work page instead.
        CHECK(err);
    }
    CHECK(load_bitmap("gfx\\block.bmp", cell_images[CELL_BLOCK]));
    CHECK(load_bitmap("gfx\\seed.bmp", cell_images[CELL_SEED]));
    CHECK(load_bitmap("gfx\\ladder.bmp", cell_images[CELL_LADDER]));
    CHECK(load_bitmap("gfx\\egg.bmp", cell_images[CELL_EGG]));
    CHECK(load_bitmap("gfx\\moving.bmp", cell_images[CELL_LIFT_V]));
    CHECK(load_bitmap("gfx\\moving.bmp", cell_images[CELL_LIFT_H]));
}

void MAP_FLIP() {
    PROC("MAP_FLIP");
    const int w = map_width, h = map_height;
    const int64_t count = static_cast<int64_t>(w) * h; // never wraps round
    // The scratch copy of W x H + 1 bytes cannot be made for a negative size.
    if (count < 0) fatal_error(ERR_ILLEGAL_CALL, __LINE__, current_module(), current_procedure());
    // More than 1000 cells runs off the end of level_bytes here (error 6).
    for (int64_t k = 0; k <= count; k++) flip_scratch[static_cast<int>(k)] = level_bytes[static_cast<int>(k)];
    if (w <= 0 || h <= 0) return; // no rows to turn (and no long empty walk)
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) level_bytes[y * w + x] = flip_scratch[(h - 1 - y) * w + x];
}

namespace {

// Wipes the table and the swans.  Called first by MAP_LOAD and MAP_LOAD_CELLS.
void wipe_level() {
    for (int k = 0; k < CELL_TABLE_SIZE; k++) {
        cells[k].code = CELL_NONE;
        cells[k].dx = 0;
        cells[k].dy = 0;
    }
    SWANS_CLEAR();
}

// Fills the table from level_bytes (map_width x map_height, top row first),
// handing the swans, the duck and the player's start to their modules.
void fill_from_level_bytes() {
    int k = 0;
    // With no columns (or no rows) there is no cell, however many rows.
    const int rows = map_width > 0 ? map_height : 0;
    for (int row = 0; row < rows; row++) {
        for (int col = 0; col < map_width; col++) {
            int code = level_bytes[k];
            if (code == CELL_SWAN) {
                SWANS_ADD(col, row);
                code = CELL_EMPTY;
            } else if (code == CELL_PLAYER) {
                place_player(col, row);
                code = CELL_EMPTY;
            } else if (code == CELL_DUCK) {
                DUCK_SET(col, row);
                code = CELL_EMPTY;
            }
            MapCell& cell = cells[k];
            cell.code = code;
            cell.x = 32 * col;
            cell.y = 32 * row;
            cell.col = col;
            cell.row = row;
            if (code == CELL_LIFT_V) cell.dy = 1;
            if (code == CELL_LIFT_H) cell.dx = 1;
            k++;
        }
    }
    last_cell = k - 1;
    map_cells_changed();
}

} // namespace

void MAP_LOAD(int n) {
    PROC("MAP_LOAD");
    wipe_level();

    // The file's name, then its path in the data folder: room for the
    // longest folder and name, so a path is never cut short.
    char name[32], path[GAME_PATH_CHARS];
    std::snprintf(name, sizeof name, "levels\\%d.bmp", n);
    std::FILE* file = nullptr;
    const int err = open_game_file(name, path, sizeof path, &file);
    if (err != ERR_FILE_NOT_FOUND) CHECK(err);
    if (file == nullptr) {
        // A level that cannot be opened is an empty level, quietly.
        last_cell = -1;
        map_cells_changed();
        return;
    }
    unsigned char header[HEADER_BYTES];
    read_at(file, 0, header, HEADER_BYTES);
    read_at(file, read_u32(header, 10), level_bytes.entry, LEVEL_BYTES_SIZE);
    std::fclose(file);

    map_width = static_cast<int32_t>(read_u32(header, 18));
    map_height = static_cast<int32_t>(read_u32(header, 22));
    MAP_FLIP();

    fill_from_level_bytes();
}

void MAP_LOAD_CELLS(const unsigned char* codes, int w, int h) {
    PROC("MAP_LOAD_CELLS");
    wipe_level();
    // As a file's would: more than the table holds is out of bounds (error 6).
    if (w < 0 || h < 0 || static_cast<int64_t>(w) * h > LEVEL_BYTES_SIZE - 1)
        fatal_error(ERR_BOUNDS, __LINE__, current_module(), current_procedure());
    for (int k = 0; k < w * h; k++) level_bytes[k] = codes[k];
    map_width = w;
    map_height = h;
    fill_from_level_bytes();
}
