// test_zip_read.cpp -- the zip reader against archives made here with
// minizip's writer and zlib: a sound one reads back byte for byte, and every
// kind of unsafe or damaged archive is refused with a message naming why.
#include "port/zip_read.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

struct Item {
    std::string name;
    std::string data;
    unsigned long unix_mode = 0; // 0: made on MS-DOS, no mode
    int method = Z_DEFLATED;
};

class ZipRead : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char tmpl[] = "/tmp/clovenfeld-zip-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Opens a new entry in zf as item says; raw: the data given is deflated already.
    static void open_entry(zipFile zf, const Item& item, bool raw) {
        zip_fileinfo zi {};
        zi.external_fa = item.unix_mode << 16;
        const uLong made_by = item.unix_mode != 0 ? (3u << 8) | 20 : 20;
        ASSERT_EQ(zipOpenNewFileInZip4_64(zf, item.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, item.method,
                                          Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                          Z_DEFAULT_STRATEGY, nullptr, 0, made_by, 0, 0),
                  ZIP_OK);
    }

    fs::path write_zip(const std::string& file, const std::vector<Item>& items) {
        const fs::path path = dir / file;
        zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
        EXPECT_NE(zf, nullptr);
        for (const Item& item : items) {
            open_entry(zf, item, false);
            EXPECT_EQ(zipWriteInFileInZip(zf, item.data.data(), static_cast<unsigned>(item.data.size())), ZIP_OK);
            EXPECT_EQ(zipCloseFileInZip(zf), ZIP_OK);
        }
        EXPECT_EQ(zipClose(zf, nullptr), ZIP_OK);
        return path;
    }

    // A zip of one entry whose deflated stream is given, stating size and crc.
    fs::path write_raw_zip(const std::string& file, const std::string& name, const std::vector<unsigned char>& stream,
                           uint64_t size, uLong crc) {
        const fs::path path = dir / file;
        zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
        EXPECT_NE(zf, nullptr);
        open_entry(zf, Item {name, "", 0100644}, true);
        EXPECT_EQ(zipWriteInFileInZip(zf, stream.data(), static_cast<unsigned>(stream.size())), ZIP_OK);
        EXPECT_EQ(zipCloseFileInZipRaw64(zf, size, crc), ZIP_OK);
        EXPECT_EQ(zipClose(zf, nullptr), ZIP_OK);
        return path;
    }

    static std::string bytes_of(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void put(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<long>(bytes.size()));
    }

    // Reads path, expecting a refusal whose message holds every part.
    static void expect_refused(const fs::path& path, std::initializer_list<const char*> parts) {
        std::vector<ZipEntry> out {{"left over", {1}}};
        std::string error;
        EXPECT_FALSE(zip_read_all(path.c_str(), &out, &error)) << path;
        EXPECT_TRUE(out.empty()) << path;
        for (const char* part : parts) EXPECT_NE(error.find(part), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
};

// A raw deflate stream of mb MiB of zeros, about 1 KiB a MiB: one MiB's
// blocks, flushed whole so they stand alone, repeated, then a last empty block.
std::vector<unsigned char> zeros_stream(int mb, uLong* crc) {
    std::vector<unsigned char> zeros(1u << 20), chunk(1u << 16), out;
    z_stream z {};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = zeros.data();
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
    EXPECT_EQ(z.avail_in, 0u);
    const size_t block = chunk.size() - z.avail_out;
    deflateEnd(&z);
    *crc = crc32(0, nullptr, 0);
    const uLong one = crc32(0, zeros.data(), static_cast<uInt>(zeros.size()));
    for (int i = 0; i < mb; ++i) {
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<long>(block));
        *crc = crc32_combine(*crc, one, static_cast<z_off_t>(zeros.size()));
    }
    out.push_back(0x03); // the last block: fixed codes, nothing but its end
    out.push_back(0x00);
    return out;
}

TEST_F(ZipRead, SoundArchiveReadsBackByteForByteWithoutItsFolders) {
    ASSERT_TRUE(zip_supported());
    std::string noise(300000, '\0');
    uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    const std::vector<Item> items = {
        {"pack.ini", "id = example\ntitle = Example\n", 0100644},
        {"levels/", "", 040755},
        {"levels/1.bmp", noise, 0100644},
        {"proofs/level-1.rec", std::string("bin\0ary", 7), 0, 0}, // stored, made on MS-DOS
        {"empty", "", 0},
    };
    const fs::path path = write_zip("good.zip", items);
    std::vector<ZipEntry> out;
    std::string error = "untouched";
    ASSERT_TRUE(zip_read_all(path.c_str(), &out, &error)) << error;
    ASSERT_EQ(out.size(), 4u);
    for (size_t i = 0, j = 0; i < items.size(); ++i) {
        if (items[i].name.back() == '/') continue;
        EXPECT_EQ(out[j].name, items[i].name);
        EXPECT_EQ(std::string(out[j].data.begin(), out[j].data.end()), items[i].data) << items[i].name;
        ++j;
    }
}

TEST_F(ZipRead, NamesThatLeaveTheFolderAreRefused) {
    const struct {
        const char* name;
        const char* why;
    } cases[] = {
        {"../x", "\"..\" part"},       {"levels/../../x", "\"..\" part"}, {"/abs", "absolute"},
        {"C:x", "drive letter"},       {"a\\..\\b", "backslash"},         {"a/./b", "\".\" part"},
        {"a//b", "empty part"},        {"levels/1.bmp:s", "colon"},       {"../", "\"..\" part"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path path = write_zip("name" + std::to_string(n++) + ".zip",
                                        {{"pack.ini", "x", 0100644}, {c.name, "data", 0100644}});
        expect_refused(path, {c.why, "entry \""});
    }
    // A NUL inside a name: written as "aXb", then the X made a NUL in both headers.
    const fs::path path = write_zip("nul.zip", {{"aXb", "data", 0100644}});
    std::string bytes = bytes_of(path);
    for (size_t at = bytes.find("aXb"); at != std::string::npos; at = bytes.find("aXb", at)) bytes[at + 1] = '\0';
    put(path, bytes);
    expect_refused(path, {"NUL", "\"a?b\""});
}

TEST_F(ZipRead, LinksAndSpecialFilesAreRefused) {
    expect_refused(write_zip("link.zip", {{"levels/1.bmp", "/etc/passwd", 0120777}}),
                   {"\"levels/1.bmp\"", "symbolic link"});
    expect_refused(write_zip("fifo.zip", {{"pipe", "", 0010644}}), {"\"pipe\"", "special file"});
    // A type-less Unix mode, as some writers leave it, is a plain file.
    std::vector<ZipEntry> out;
    std::string error;
    EXPECT_TRUE(zip_read_all(write_zip("plain.zip", {{"a", "b", 0644}}).c_str(), &out, &error)) << error;
}

TEST_F(ZipRead, ABombStopsAtTheLimitWhatEverTheEntriesState) {
    // 1 GiB of zeros in about 1 MiB of file, its size stated truly.
    uLong crc = 0;
    const std::vector<unsigned char> gig = zeros_stream(1024, &crc);
    const fs::path bomb = write_raw_zip("bomb.zip", "levels/1.bmp", gig, 1ull << 30, crc);
    EXPECT_LT(fs::file_size(bomb), 2u << 20);
    expect_refused(bomb, {"more than 64 MB", "\"levels/1.bmp\""});
    // Two entries of 40 MiB: each within the limit, together past it.
    const std::vector<unsigned char> forty = zeros_stream(40, &crc);
    const fs::path two = dir / "two.zip";
    zipFile zf = zipOpen64(two.c_str(), APPEND_STATUS_CREATE);
    for (const char* name : {"a", "b"}) {
        open_entry(zf, Item {name, "", 0100644}, true);
        ASSERT_EQ(zipWriteInFileInZip(zf, forty.data(), static_cast<unsigned>(forty.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZipRaw64(zf, 40u << 20, crc), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
    expect_refused(two, {"more than 64 MB", "\"b\""});
}

TEST_F(ZipRead, MoreThanAThousandEntriesAreRefused) {
    std::vector<Item> items;
    for (int i = 0; i < ZIP_MAX_FILES; ++i) items.push_back({"f" + std::to_string(i), "x", 0100644, 0});
    std::vector<ZipEntry> out;
    std::string error;
    EXPECT_TRUE(zip_read_all(write_zip("1000.zip", items).c_str(), &out, &error)) << error;
    EXPECT_EQ(out.size(), static_cast<size_t>(ZIP_MAX_FILES));
    items.push_back({"one-more", "x", 0100644, 0});
    expect_refused(write_zip("1001.zip", items), {"more than 1000 entries"});
}

TEST_F(ZipRead, DamagedTruncatedAndForeignFilesAreRefused) {
    const std::string text = "levels and more levels, stored as they are";
    const fs::path good = write_zip("good.zip", {{"pack.ini", text, 0100644, 0}});
    const std::string bytes = bytes_of(good);
    // Cut anywhere, even in the last field of its end record.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        put(dir / "cut.zip", bytes.substr(0, cut));
        expect_refused(dir / "cut.zip", {"truncated"});
    }
    std::string flipped = bytes;
    flipped[flipped.find("stored")] = 'S';
    put(dir / "crc.zip", flipped);
    expect_refused(dir / "crc.zip", {"\"pack.ini\"", "bad CRC"});
    put(dir / "text.zip", "pack.ini\nid = x\n");
    expect_refused(dir / "text.zip", {"not a zip"});
    expect_refused(dir / "missing.zip", {"cannot open"});
    expect_refused(dir, {"not a regular file"});
    // A deflated entry that states more bytes than it holds: minizip stops
    // short without checking the CRC, so the reader counts them.
    uLong crc = 0;
    const std::vector<unsigned char> one = zeros_stream(1, &crc);
    expect_refused(write_raw_zip("short.zip", "x", one, (1u << 20) + 5, crc), {"\"x\"", "not the 1048581 stated"});
}

} // namespace
