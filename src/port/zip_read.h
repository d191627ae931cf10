// zip_read.h -- reads a whole zip archive into memory, as untrusted input.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ZipEntry {
    std::string name;                 // relative path with '/' separators, already checked safe
    std::vector<unsigned char> data;  // the entry's bytes, inflated
};

enum { ZIP_MAX_FILES = 1000 };
constexpr uint64_t ZIP_MAX_BYTES = 64ull << 20; // unpacked, all entries together

// True when this build can read zip archives (false: packs as folders only).
bool zip_supported();

// Reads every file entry of the archive at path.  False, with a one-line
// reason naming the entry where there is one, when: this build has no zip
// support ("zip packs are not supported here; use the pack's folder"); the
// file is not a zip, is truncated or damaged (bad CRC included); an entry's
// name is absolute, has a drive letter, a backslash, an empty or "." or ".."
// part, or a NUL; an entry is a symbolic link or other special file (from its
// external attributes); there are more than ZIP_MAX_FILES entries; or the
// unpacked bytes would pass ZIP_MAX_BYTES -- counted while inflating, never
// trusting the sizes the archive states.  Directory entries are skipped.
// Nothing is written anywhere.
bool zip_read_all(const char* path, std::vector<ZipEntry>* out, std::string* error);
