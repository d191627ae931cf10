// zip_read.cpp -- the zip reader on minizip (Debian's libminizip on Linux; the
// same sources built with the program for Windows and the browser).
//
// The archive is read whole into memory first (a regular file of at most
// ARCHIVE_MAX_BYTES), and minizip reads it from there through the memory
// functions below, so nothing is opened twice and nothing is written.  The
// central directory is walked entry by entry: every name and type is checked
// before its data is read, entries are counted as they come, and the bytes
// are counted as they are inflated, never taken from the sizes stated.
#include "port/zip_read.h"
#include "port/system.h"
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The largest archive read: every byte unpacked, stored as it is, and room
// for the headers of ZIP_MAX_FILES entries with long names.
constexpr uint64_t ARCHIVE_MAX_BYTES = ZIP_MAX_BYTES + (16ull << 20);
// Bytes asked of minizip at a time.
constexpr uint64_t READ_CHUNK = 64u << 10;
// The longest name a zip can hold (its length is a 16-bit field).
constexpr int NAME_MAX_BYTES = 65535;

// --- the archive in memory, as minizip's file functions -----------------------

struct MemoryFile {
    const unsigned char* data;
    uint64_t size;
    uint64_t pos;
    bool short_read; // a read asked for bytes past the end
};

voidpf ZCALLBACK mem_open(voidpf, const void* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_WRITE) != 0) return nullptr;
    auto* f = static_cast<MemoryFile*>(const_cast<void*>(filename));
    f->pos = 0;
    return f;
}

uLong ZCALLBACK mem_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* f = static_cast<MemoryFile*>(stream);
    const uint64_t rest = f->size - f->pos;
    const uint64_t n = size < rest ? size : rest;
    if (n < size) f->short_read = true;
    if (n > 0) std::memcpy(buf, f->data + f->pos, n);
    f->pos += n;
    return static_cast<uLong>(n);
}

uLong ZCALLBACK mem_write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK mem_tell(voidpf, voidpf stream) { return static_cast<MemoryFile*>(stream)->pos; }

long ZCALLBACK mem_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* f = static_cast<MemoryFile*>(stream);
    uint64_t base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = f->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = f->size; break;
    default: return -1;
    }
    if (offset > f->size - base) return -1; // past the end (and no wrap-around)
    f->pos = base + offset;
    return 0;
}

int ZCALLBACK mem_close(voidpf, voidpf) { return 0; }
// minizip reads its header fields a byte at a time and takes a byte missing
// at the end for a good one (UNZ_EOF is UNZ_OK) unless this reports an error.
int ZCALLBACK mem_error(voidpf, voidpf stream) { return static_cast<MemoryFile*>(stream)->short_read ? 1 : 0; }

// --- messages ------------------------------------------------------------------

bool fail(std::string* error, const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
}

// An entry's name as a message shows it: quoted, at most 80 characters, with
// anything unprintable (a NUL, a control or a non-ASCII byte) as '?'.
std::string shown(const char* name, size_t len) {
    std::string s = "\"";
    for (size_t i = 0; i < len && i < 80; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        s += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    if (len > 80) s += "...";
    return s + "\"";
}

// --- names and types ------------------------------------------------------------

// What is wrong with an entry's name (len bytes), or nullptr when it is a
// safe relative path; *is_dir tells whether it names a folder (ends in '/').
const char* name_problem(const char* name, size_t len, bool* is_dir) {
    *is_dir = len > 0 && name[len - 1] == '/';
    if (len == 0) return "has an empty name";
    if (std::memchr(name, '\0', len) != nullptr) return "has a NUL in its name";
    if (std::memchr(name, '\\', len) != nullptr) return "has a backslash in its name";
    if (name[0] == '/') return "has an absolute path";
    if (len >= 2 && name[1] == ':') return "has a drive letter";
    if (std::memchr(name, ':', len) != nullptr) return "has a colon in its name";
    const size_t end = *is_dir ? len - 1 : len; // a folder's last '/' ends it
    size_t start = 0;
    for (size_t i = 0; i <= end; ++i) {
        if (i < end && name[i] != '/') continue;
        const size_t n = i - start;
        if (n == 0) return "has an empty part in its path";
        if (n == 1 && name[start] == '.') return "has a \".\" part in its path";
        if (n == 2 && name[start] == '.' && name[start + 1] == '.') return "has a \"..\" part in its path";
        start = i + 1;
    }
    return nullptr;
}

// The Unix file type bits, and the types among them.
constexpr uLong UNIX_TYPE = 0170000, UNIX_FILE = 0100000, UNIX_DIR = 0040000, UNIX_LINK = 0120000;
// The MS-DOS attributes in the low bits: a folder, and a link (a reparse point).
constexpr uLong DOS_DIR = 0x10, DOS_REPARSE = 0x400;
// The hosts whose external attributes hold a Unix mode in their high 16 bits.
constexpr unsigned HOST_UNIX = 3, HOST_MACOS = 19;

// What is wrong with an entry's type, or nullptr for a regular file or a
// folder (*is_dir set for a folder).  A Unix mode without type bits, as some
// writers leave it, is taken as a regular file.
const char* type_problem(const unz_file_info64& info, bool* is_dir) {
    const unsigned host = static_cast<unsigned>(info.version >> 8) & 0xff;
    if (host == HOST_UNIX || host == HOST_MACOS) {
        const uLong type = (info.external_fa >> 16) & UNIX_TYPE;
        if (type == UNIX_LINK) return "is a symbolic link";
        if (type == UNIX_DIR) *is_dir = true;
        else if (type != 0 && type != UNIX_FILE) return "is a special file, not a regular file or a folder";
    }
    if ((info.external_fa & DOS_REPARSE) != 0) return "is a link (a reparse point)";
    if ((info.external_fa & DOS_DIR) != 0) *is_dir = true;
    return nullptr;
}

// --- the archive file ---------------------------------------------------------------

// Reads the regular file at path whole into bytes; false with why.
bool read_archive(const char* path, std::vector<unsigned char>* bytes, std::string* error) {
    const int fd = file_open_read(path);
    if (fd < 0) return fail(error, std::string("cannot open the file: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(error, "not a regular file");
    }
    bytes->clear();
    while (bytes->size() <= ARCHIVE_MAX_BYTES) {
        const size_t have = bytes->size();
        bytes->resize(have + READ_CHUNK);
        const auto n = ::read(fd, bytes->data() + have, static_cast<unsigned>(READ_CHUNK));
        if (n < 0 && errno == EINTR) {
            bytes->resize(have);
            continue;
        }
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(error, std::string("cannot read the file: ") + std::strerror(e));
        }
        bytes->resize(have + static_cast<size_t>(n));
        if (n == 0) break;
    }
    ::close(fd);
    if (bytes->size() > ARCHIVE_MAX_BYTES)
        return fail(error, "the file is larger than a pack may be (" +
                               std::to_string(ARCHIVE_MAX_BYTES >> 20) + " MB)");
    return true;
}

// Inflates the current entry (named who in messages) into data, counting
// its bytes into *total; false with why.
bool read_entry(unzFile zip, const unz_file_info64& info, const std::string& who,
                std::vector<unsigned char>* data, uint64_t* total, std::string* error) {
    if ((info.flag & 1) != 0) return fail(error, "entry " + who + " is encrypted");
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        return fail(error, "entry " + who + " uses compression method " + std::to_string(info.compression_method) +
                               " (only stored and deflated files are read)");
    if (unzOpenCurrentFile(zip) != UNZ_OK) return fail(error, "entry " + who + " is damaged (its local header)");
    bool ok = true;
    for (;;) {
        const uint64_t allowed = ZIP_MAX_BYTES - *total;
        // One byte more than allowed, so an entry that passes the limit shows it.
        const uint64_t ask = READ_CHUNK < allowed + 1 ? READ_CHUNK : allowed + 1;
        const size_t have = data->size();
        data->resize(have + ask);
        const int n = unzReadCurrentFile(zip, data->data() + have, static_cast<unsigned>(ask));
        if (n < 0) {
            ok = fail(error, "entry " + who + " is damaged (its data does not inflate)");
            break;
        }
        data->resize(have + static_cast<size_t>(n));
        if (static_cast<uint64_t>(n) > allowed) {
            ok = fail(error, "the files unpack to more than " + std::to_string(ZIP_MAX_BYTES >> 20) +
                                 " MB (at entry " + who + ")");
            break;
        }
        *total += static_cast<uint64_t>(n);
        if (n == 0) break;
    }
    // minizip checks the CRC only once the stated size has been read: a
    // shorter stream is caught here.
    if (ok && data->size() != info.uncompressed_size)
        ok = fail(error, "entry " + who + " is damaged (its data is " + std::to_string(data->size()) +
                             " bytes, not the " + std::to_string(info.uncompressed_size) + " stated)");
    const int closed = unzCloseCurrentFile(zip);
    if (ok && closed == UNZ_CRCERROR) ok = fail(error, "entry " + who + " is damaged (bad CRC)");
    else if (ok && closed != UNZ_OK) ok = fail(error, "entry " + who + " is damaged");
    return ok;
}

bool read_entries(unzFile zip, std::vector<ZipEntry>* out, std::string* error) {
    std::vector<char> name_buf(NAME_MAX_BYTES + 1);
    char* name = name_buf.data();
    uint64_t total = 0;
    int count = 0;
    int at = unzGoToFirstFile(zip);
    for (; at == UNZ_OK; at = unzGoToNextFile(zip)) {
        if (++count > ZIP_MAX_FILES)
            return fail(error, "the archive has more than " + std::to_string(ZIP_MAX_FILES) + " entries");
        unz_file_info64 info {};
        if (unzGetCurrentFileInfo64(zip, &info, name, NAME_MAX_BYTES + 1, nullptr, 0, nullptr, 0) != UNZ_OK)
            return fail(error, "the archive is truncated or damaged (entry " + std::to_string(count) + " of its directory)");
        const size_t len = info.size_filename <= NAME_MAX_BYTES ? info.size_filename : NAME_MAX_BYTES;
        const std::string who = shown(name, len);
        bool is_dir = false;
        if (const char* why = name_problem(name, len, &is_dir)) return fail(error, "entry " + who + " " + why);
        if (const char* why = type_problem(info, &is_dir)) return fail(error, "entry " + who + " " + why);
        if (is_dir) continue;
        for (const ZipEntry& e : *out)
            if (e.name.size() == len && std::memcmp(e.name.data(), name, len) == 0)
                return fail(error, "entry " + who + " appears twice");
        ZipEntry entry;
        entry.name.assign(name, len);
        if (!read_entry(zip, info, who, &entry.data, &total, error)) return false;
        out->push_back(std::move(entry));
    }
    if (at != UNZ_END_OF_LIST_OF_FILE)
        return fail(error, "the archive is truncated or damaged (after entry " + std::to_string(count) + " of its directory)");
    return true;
}

} // namespace

bool zip_supported() { return true; }

bool zip_read_all(const char* path, std::vector<ZipEntry>* out, std::string* error) {
    out->clear();
    std::vector<unsigned char> bytes;
    if (!read_archive(path, &bytes, error)) return false;
    MemoryFile file {bytes.data(), bytes.size(), 0, false};
    zlib_filefunc64_def funcs {};
    funcs.zopen64_file = mem_open;
    funcs.zread_file = mem_read;
    funcs.zwrite_file = mem_write;
    funcs.ztell64_file = mem_tell;
    funcs.zseek64_file = mem_seek;
    funcs.zclose_file = mem_close;
    funcs.zerror_file = mem_error;
    funcs.opaque = nullptr;
    unzFile zip = unzOpen2_64(&file, &funcs);
    if (zip == nullptr) return fail(error, "not a zip archive, or a truncated or damaged one");
    const bool ok = read_entries(zip, out, error);
    unzClose(zip);
    if (!ok) out->clear();
    return ok;
}
