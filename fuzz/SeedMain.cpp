// A fuzz target without libFuzzer: feeds every file of the seed folders it
// is given to the target, once each, and prints how many it tried. Built by
// the ordinary compiler, so `make test` proves that every seed still loads
// through the game's code without a search of its own; `make fuzz` builds
// the same targets with libFuzzer and searches from these seeds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size);
extern "C" int LLVMFuzzerInitialize(int* pArgc, char*** pArgv) __attribute__((weak));

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    int tried = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream file(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++tried;
        }
    }
    std::printf("%d seeds, no crash\n", tried);
    // No seed at all would prove nothing.
    return tried > 0 ? 0 : 1;
}
