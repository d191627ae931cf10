// bench_services.cpp -- speed of the drawing services beside the same work done
// by SDL2's software surfaces in the same run: a 32 x 32 sprite drawn with a
// transparent colour, a full-page clear and page copy, a line of HUD text, and
// a whole frame of map cells.  SDL surfaces need no video start-up.

#include "services/bmp.h"
#include "services/draw.h"
#include "services/image.h"
#include "services/screen.h"
#include "services/text.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t MAGENTA = 0xFFFF00FF;
const char HUD_LINE[] = "SCORE: 0012345  TIME: 487  LEVEL: 12  LIVES: 3  EGGS: 07/12";

void open_screen_once() {
    if (screen_is_open()) return;
    if (open_screen(18, 32, 2, 0, 0) != 0) std::abort();
    set_pages(0, 1);
}

// A 32 x 32 sprite: a ring of colour with a magenta (transparent) middle and corners.
void paint_sprite(uint32_t* pixels, int pitch_words) {
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int dx = x - 16, dy = y - 16;
            const int r2 = dx * dx + dy * dy;
            pixels[y * pitch_words + x] = (r2 > 60 && r2 < 240) ? 0xFF000000u | uint32_t(x * 8 << 16 | y * 8) : MAGENTA;
        }
}

Image* make_sprite() {
    Image* img = create_image(32, 32, MAGENTA);
    paint_sprite(img->pixels, img->pitch / 4);
    image_changed(img); // as load_bitmap leaves a sprite
    return img;
}

SDL_Surface* make_surface(int w, int h) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
    if (s == nullptr) std::abort();
    return s;
}

SDL_Surface* make_sdl_sprite() {
    SDL_Surface* s = make_surface(32, 32);
    paint_sprite(static_cast<uint32_t*>(s->pixels), s->pitch / 4);
    SDL_SetColorKey(s, SDL_TRUE, MAGENTA);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
    return s;
}

// One 8 x 16 glyph surface per byte value, ink white, the rest colour-keyed.
SDL_Surface* glyph_surfaces[256];

void make_glyph_surfaces() {
    if (glyph_surfaces[0] != nullptr) return;
    for (int c = 0; c < 256; ++c) {
        SDL_Surface* s = make_surface(8, 16);
        const uint8_t* g = font_glyph(static_cast<uint8_t>(c));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x] =
                    (g[y] & (0x80 >> x)) ? 0xFFFFFF00u : MAGENTA;
        SDL_SetColorKey(s, SDL_TRUE, MAGENTA);
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
        glyph_surfaces[c] = s;
    }
}

// --- a 32 x 32 transparent sprite ---------------------------------------------

void BM_Sprite_PutImage(benchmark::State& state) {
    open_screen_once();
    Image* sprite = make_sprite();
    int i = 0;
    for (auto _ : state) {
        put_image(static_cast<float>(i % 600), static_cast<float>((i * 7) % 440), sprite, BLIT_TRANSPARENT);
        ++i;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Sprite_PutImage);

void BM_Sprite_SdlColorKeyBlit(benchmark::State& state) {
    SDL_Surface* page = make_surface(640, 480);
    SDL_Surface* sprite = make_sdl_sprite();
    int i = 0;
    for (auto _ : state) {
        SDL_Rect at{i % 600, (i * 7) % 440, 32, 32};
        SDL_BlitSurface(sprite, nullptr, page, &at);
        ++i;
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(page);
}
BENCHMARK(BM_Sprite_SdlColorKeyBlit);

// --- clear the work page and show it -----------------------------------------

void BM_Page_ClearAndShow(benchmark::State& state) {
    open_screen_once();
    set_color(0, 0xFF000000, KEEP_FOREGROUND);
    for (auto _ : state) {
        clear_screen();
        show_page();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4 * 2);
}
BENCHMARK(BM_Page_ClearAndShow);

void BM_Page_SdlFillAndBlit(benchmark::State& state) {
    SDL_Surface* work = make_surface(640, 480);
    SDL_Surface* visible = make_surface(640, 480);
    SDL_SetSurfaceBlendMode(work, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
        SDL_FillRect(work, nullptr, 0xFF000000u);
        SDL_BlitSurface(work, nullptr, visible, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4 * 2);
    SDL_FreeSurface(work);
    SDL_FreeSurface(visible);
}
BENCHMARK(BM_Page_SdlFillAndBlit);

// --- one line of HUD text ----------------------------------------------------------

void BM_Text_DrawText(benchmark::State& state) {
    open_screen_once();
    set_color(0xFFFFFF00, 0, KEEP_BACKGROUND);
    for (auto _ : state) {
        draw_text(8, 460, HUD_LINE);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::strlen(HUD_LINE)));
}
BENCHMARK(BM_Text_DrawText);

void BM_Text_SdlGlyphBlits(benchmark::State& state) {
    make_glyph_surfaces();
    SDL_Surface* page = make_surface(640, 480);
    const size_t n = std::strlen(HUD_LINE);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            SDL_Rect at{8 + 8 * static_cast<int>(i), 460, 8, 16};
            SDL_BlitSurface(glyph_surfaces[static_cast<uint8_t>(HUD_LINE[i])], nullptr, page, &at);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    SDL_FreeSurface(page);
}
BENCHMARK(BM_Text_SdlGlyphBlits);

// --- a whole frame: clear, 20 x 15 map cells, a HUD line, show -----------------

void BM_Frame_Services(benchmark::State& state) {
    open_screen_once();
    Image* tile = make_sprite();
    for (auto _ : state) {
        clear_screen();
        for (int cy = 0; cy < 15; ++cy)
            for (int cx = 0; cx < 20; ++cx)
                put_image(static_cast<float>(cx * 32), static_cast<float>(cy * 32), tile, BLIT_TRANSPARENT);
        draw_text(8, 460, HUD_LINE);
        show_page();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Frame_Services);

void BM_Frame_Sdl(benchmark::State& state) {
    make_glyph_surfaces();
    SDL_Surface* work = make_surface(640, 480);
    SDL_Surface* visible = make_surface(640, 480);
    SDL_SetSurfaceBlendMode(work, SDL_BLENDMODE_NONE);
    SDL_Surface* tile = make_sdl_sprite();
    const size_t n = std::strlen(HUD_LINE);
    for (auto _ : state) {
        SDL_FillRect(work, nullptr, 0xFF000000u);
        for (int cy = 0; cy < 15; ++cy)
            for (int cx = 0; cx < 20; ++cx) {
                SDL_Rect at{cx * 32, cy * 32, 32, 32};
                SDL_BlitSurface(tile, nullptr, work, &at);
            }
        for (size_t i = 0; i < n; ++i) {
            SDL_Rect at{8 + 8 * static_cast<int>(i), 460, 8, 16};
            SDL_BlitSurface(glyph_surfaces[static_cast<uint8_t>(HUD_LINE[i])], nullptr, work, &at);
        }
        SDL_BlitSurface(work, nullptr, visible, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(tile);
    SDL_FreeSurface(work);
    SDL_FreeSurface(visible);
}
BENCHMARK(BM_Frame_Sdl);

// --- reading a sprite file from memory -------------------------------------------

void BM_Bmp_Load32x32From24Bit(benchmark::State& state) {
    open_screen_once();
    // A 32 x 32 24-bit bottom-up file built here.
    static uint8_t file[54 + 32 * 96];
    std::memset(file, 0, sizeof file);
    const uint32_t size = sizeof file;
    file[0] = 'B';
    file[1] = 'M';
    std::memcpy(file + 2, &size, 4);
    file[10] = 54;
    file[14] = 40;
    file[18] = 32;
    file[22] = 32;
    file[26] = 1;
    file[28] = 24;
    for (int i = 54; i < static_cast<int>(size); ++i) file[i] = static_cast<uint8_t>(i * 31);
    Image* img = create_image(32, 32, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(load_bitmap_from_memory(file, size, img));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Bmp_Load32x32From24Bit);

} // namespace

