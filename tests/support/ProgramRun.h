// What a test gets back from running a program: its exit status and its captured output, and the
// whole-file reader the runners use to collect that output.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct RunResult {
    int status = -1;
    std::string out, err;
};

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
