// test_command_util.h -- running a program as a test does: its status and
// everything it printed, and a file's bytes as text.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct ToolRun {
    int status;      // the exit status, -1 when it did not exit
    std::string out; // standard output and error
};

inline ToolRun run(const std::string& command) {
    ToolRun r{-1, ""};
    if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) r.out += buf;
        const int st = pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return r;
}

inline std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
