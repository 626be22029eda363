// What a test gets back from running a program: its exit status and its captured output, and the
// whole-file reader the runners use to collect that output; a fresh scratch folder, a program
// started in the background, and a shell command's output.
#pragma once

#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// An empty folder `name` under the test's temporary folder.
inline std::filesystem::path ScratchFolder(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / name;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir);
    return dir;
}

// Starts `program args` in `cwd` in the background, its standard output and error going to
// stdout.txt and stderr.txt there; the child's process id.
inline pid_t StartProgram(const char* program, const std::filesystem::path& cwd, const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    return pid;
}

// Runs a shell command; its standard output, trimmed.
inline std::string ShellOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}
