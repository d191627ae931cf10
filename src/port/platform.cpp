// platform.cpp -- the back-end in use, and the null back-end that stands in
// until one is chosen.
#include "port/platform.h"

namespace {

int null_open(int, int, const char*) { return 0; }
void null_title(const char*) {}
void null_present() {}
void null_tick(int) {}
void null_close() {}

const Platform null_platform = {"null", null_open, null_title, null_present, null_tick, null_close,
                                false, false, nullptr};
const Platform* g_platform = &null_platform;

} // namespace

const Platform* platform() { return g_platform; }

void install_platform(const Platform* p) { g_platform = p != nullptr ? p : &null_platform; }
