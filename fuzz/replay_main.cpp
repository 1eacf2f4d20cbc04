// Runs a fuzz target's entry point once over each file named on the command line (a folder
// stands for the files in it), without libFuzzer: the regression corpus in the ordinary test
// run. A finding ends the process as it would end the fuzzer; otherwise it prints how many
// inputs passed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size);

namespace fs = std::filesystem;

int main(int ArgCount, char **Args) {
    std::vector<fs::path> Inputs;
    for (int I = 1; I < ArgCount; ++I) {
        if (!fs::is_directory(Args[I])) {
            Inputs.push_back(Args[I]);
            continue;
        }
        for (const auto &Entry : fs::directory_iterator(Args[I]))
            if (Entry.is_regular_file() && Entry.path().filename() != "README.md")
                Inputs.push_back(Entry.path());
    }
    std::sort(Inputs.begin(), Inputs.end());
    if (Inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }
    for (const fs::path &Path : Inputs) {
        std::ifstream In(Path, std::ios::binary);
        if (!In) {
            std::fprintf(stderr, "replay: cannot read %s\n", Path.c_str());
            return 2;
        }
        const std::string Bytes((std::istreambuf_iterator<char>(In)),
                                std::istreambuf_iterator<char>());
        std::printf("replay: %s (%zu bytes)\n", Path.filename().c_str(), Bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(Bytes.data()), Bytes.size());
    }
    std::printf("replay: %zu inputs passed\n", Inputs.size());
    return 0;
}
