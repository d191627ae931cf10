// fuzz_load_bitmap.cpp -- libFuzzer harness for the BMP reader.
//
// Every input is read twice: into a 32 x 32 sprite image and into the work
// page of a headless screen opened once.  The sanitizers catch any read or
// write outside the data, the image or the page; the result must always be
// one of the reader's error numbers.

#include "services/bmp.h"
#include "services/fatal.h"
#include "services/image.h"
#include "services/screen.h"

#include <cstdint>
#include <cstdlib>

namespace {

Image* sprite = nullptr;

void open_once() {
    if (sprite != nullptr) return;
    if (open_screen(18, 32, 2, 0, 0) != 0) std::abort();
    sprite = create_image(32, 32, 0xFF64FF64);
    if (sprite == nullptr) std::abort();
}

void check_result(int err) {
    if (err != ERR_NONE && err != ERR_FILE_IO) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    open_once();
    check_result(load_bitmap_from_memory(data, size, sprite));
    check_result(load_bitmap_from_memory(data, size, nullptr));
    return 0;
}
