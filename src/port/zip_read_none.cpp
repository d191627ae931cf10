// zip_read_none.cpp -- the zip reader of a build without a zip library
// (zip_read.h): packs are taken as folders only, and a zip is refused saying so.
#include "port/zip_read.h"

bool zip_supported() { return false; }

bool zip_read_all(const char*, std::vector<ZipEntry>* out, std::string* error) {
    if (out != nullptr) out->clear();
    if (error != nullptr) *error = "zip packs are not supported here; use the pack's folder";
    return false;
}
