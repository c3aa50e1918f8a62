// Runs a fuzz target over its corpus and over a fixed number of deterministic
// pseudo-random mutations, for compilers without libFuzzer. Usage:
//   fuzz_NAME [corpus files...]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        std::ifstream f(argv[i], std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    if (seeds.empty()) seeds.push_back({});
    std::mt19937 rng(12345);
    size_t runs = 0;
    for (const auto& s : seeds) {
        LLVMFuzzerTestOneInput(s.data(), s.size());
        ++runs;
        for (int m = 0; m < 2000; ++m) {
            std::vector<uint8_t> v = s;
            int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits; ++e) {
                switch (rng() % 3) {
                case 0:
                    if (!v.empty()) v[rng() % v.size()] = static_cast<uint8_t>(rng());
                    break;
                case 1: v.insert(v.begin() + (v.empty() ? 0 : rng() % (v.size() + 1)), static_cast<uint8_t>(rng())); break;
                default:
                    if (!v.empty()) v.erase(v.begin() + rng() % v.size());
                }
            }
            LLVMFuzzerTestOneInput(v.data(), v.size());
            ++runs;
        }
    }
    std::printf("%zu inputs, no failure\n", runs);
    return 0;
}
