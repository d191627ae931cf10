// test_sha256.cpp -- SHA-256 against the standard's examples, split across
// blocks at every length around the padding's edges, and of a file.
#include "services/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string digest(const std::string& text, size_t piece) {
    Sha256 s;
    sha256_begin(&s);
    for (size_t at = 0; at < text.size(); at += piece) sha256_add(&s, text.data() + at, std::min(piece, text.size() - at));
    char hex[65];
    sha256_hex(&s, hex);
    return hex;
}

TEST(Sha256, StandardExamplesInAnyPieces) {
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (size_t piece : {1, 3, 64, 1000}) {
        EXPECT_EQ(digest("", piece), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(digest("abc", piece), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(digest(two_blocks, piece), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }
    EXPECT_EQ(digest(std::string(1000000, 'a'), 4096),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // 55, 56 and 64 bytes: the length fits the last block, or needs another.
    EXPECT_EQ(digest(std::string(55, 'a'), 7), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(digest(std::string(56, 'a'), 7), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(digest(std::string(64, 'a'), 7), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, AFileAsItsBytesAndAMissingOneRefused) {
    const std::string path = "/tmp/clovenfeld_sha_" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("abc", f);
    std::fclose(f);
    char hex[65] = "untouched";
    ASSERT_TRUE(sha256_file(path.c_str(), hex));
    EXPECT_STREQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::remove(path.c_str());
    char kept[65] = "untouched";
    EXPECT_FALSE(sha256_file(path.c_str(), kept));
    EXPECT_STREQ(kept, "untouched");
}

} // namespace
