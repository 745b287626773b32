// Stand-alone driver for compilers without libFuzzer: runs the fuzz entry
// point over every file of the given corpus folders, then, until
// -max_total_time seconds have passed, over mutations of them (bytes
// flipped, cut short, header fields set to edge values). The mutations come
// from -seed (default 1) over the corpus in name order, so a run repeats.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> mutate(std::vector<uint8_t> input, std::mt19937& random)
{
    static const size_t HEADER_FIELDS[] = {6, 7, 10, 11, 64, 65, 66, 67};
    static const uint8_t EDGE_VALUES[] = {0, 1, 0x3F, 0x40, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xFF};
    switch (random() % 4) {
    case 0:  // flip a few bytes anywhere
        for (int n = 1 + random() % 8; n > 0 && !input.empty(); --n)
            input[random() % input.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
    case 1:  // cut short
        if (!input.empty())
            input.resize(random() % input.size());
        break;
    case 2:  // a header field at an edge value
        if (input.size() > 67)
            input[HEADER_FIELDS[random() % 8]] = EDGE_VALUES[random() % 10];
        break;
    default:  // run bytes dropped into the data
        for (int n = 1 + random() % 4; n > 0 && input.size() > 128; --n)
            input[128 + random() % (input.size() - 128)] = static_cast<uint8_t>(0xC0 | (random() % 64));
        break;
    }
    return input;
}

}  // namespace

int main(int argc, char** argv)
{
    double maxSeconds = 0.0;
    unsigned long seed = 1;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "-max_total_time=", 16) == 0) {
            maxSeconds = std::atof(arg + 16);
            continue;
        }
        if (std::strncmp(arg, "-seed=", 6) == 0) {
            seed = std::strtoul(arg + 6, nullptr, 10);
            continue;
        }
        if (arg[0] == '-')
            continue;  // other libFuzzer options mean nothing here
        std::error_code error;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
        if (error) {
            std::fprintf(stderr, "replay: %s: %s\n", arg, error.message().c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "replay: no corpus files\n");
        return 1;
    }

    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());

    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(maxSeconds);
    unsigned long runs = corpus.size();
    while (std::chrono::steady_clock::now() < end) {
        for (int batch = 0; batch < 64; ++batch) {
            std::vector<uint8_t> input = mutate(corpus[random() % corpus.size()], random);
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++runs;
        }
    }
    std::fprintf(stderr, "replay: %lu inputs from %zu corpus files, no fault\n", runs, corpus.size());
    return 0;
}
