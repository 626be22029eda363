// Runs a fuzz target without libFuzzer: replays every file of the given corpus folders, then
// feeds a bounded number of pseudo-random mutations of them. Used by the tests, so that the
// regression corpus and a short random run happen on every build, whatever the compiler.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct Mutator {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 32);
    }
    void Mutate(std::vector<uint8_t>& data) {
        int edits = 1 + Next() % 8;
        for (int e = 0; e < edits; ++e) {
            switch (Next() % 5) {
                case 0:  // flip a bit
                    if (!data.empty()) data[Next() % data.size()] ^= 1u << (Next() % 8);
                    break;
                case 1:  // random byte
                    if (!data.empty()) data[Next() % data.size()] = static_cast<uint8_t>(Next());
                    break;
                case 2:  // truncate
                    if (!data.empty()) data.resize(Next() % data.size());
                    break;
                case 3:  // insert a byte
                    data.insert(data.begin() + (data.empty() ? 0 : Next() % (data.size() + 1)),
                                static_cast<uint8_t>(Next()));
                    break;
                default:  // duplicate a slice
                    if (data.size() > 1) {
                        size_t from = Next() % data.size();
                        size_t len = 1 + Next() % (data.size() - from);
                        std::vector<uint8_t> slice(data.begin() + from, data.begin() + from + len);
                        data.insert(data.begin() + Next() % (data.size() + 1), slice.begin(),
                                    slice.end());
                    }
                    break;
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    long mutations = 2000;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--mutations=", 12) == 0) {
            mutations = std::strtol(argv[i] + 12, nullptr, 10);
            continue;
        }
        std::filesystem::path root(argv[i]);
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(root, ec)) {
            for (auto& entry : std::filesystem::recursive_directory_iterator(root, ec))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(root);
        }
        for (auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (auto& input : corpus) LLVMFuzzerTestOneInput(input.data(), input.size());
    Mutator mutator;
    std::vector<uint8_t> input;
    for (long m = 0; m < mutations; ++m) {
        input = corpus.empty() ? std::vector<uint8_t>() : corpus[mutator.Next() % corpus.size()];
        mutator.Mutate(input);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("replayed %zu inputs and %ld mutations\n", corpus.size(), mutations);
    return 0;
}
