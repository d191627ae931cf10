// zip_read_none.cpp -- the zip reader of a build without minizip
// (-DCLOVENFELD_ZIP=OFF): packs are read as folders only.
#include "port/zip_read.h"

bool zip_supported() { return false; }

bool zip_read_all(const char*, std::vector<ZipEntry>* out, std::string* error) {
    out->clear();
    if (error != nullptr) *error = "zip packs are not supported here; use the pack's folder";
    return false;
}
