// Replay driver of the fuzz targets for builds without libFuzzer: feeds every file of the
// corpus folders given on the command line (their sub-folders too: `regressions/` keeps the
// inputs that once failed), then a fixed series of generated inputs (random bytes and
// mutations of the corpus), to LLVMFuzzerTestOneInput. The sanitizers turn any fault into
// a failure; a corpus folder that does not exist is one too.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (!std::filesystem::is_directory(argv[i], ec)) {
            std::fprintf(stderr, "no corpus folder: %s\n", argv[i]);
            return 1;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    int runs = 0;
    for (const auto& input : corpus) {
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
    }
    std::mt19937 random(12345);
    for (int i = 0; i < 20000; ++i) {
        std::vector<uint8_t> input;
        if (!corpus.empty() && i % 2) {
            input = corpus[random() % corpus.size()];
            for (int m = random() % 8; m >= 0; --m) {
                const size_t at = input.empty() ? 0 : random() % input.size();
                switch (random() % 3) {
                case 0:
                    if (!input.empty())
                        input[at] = static_cast<uint8_t>(random());
                    break;
                case 1:
                    input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
                    break;
                default:
                    if (!input.empty())
                        input.erase(input.begin() + static_cast<long>(at));
                    break;
                }
            }
        } else {
            input.resize(random() % 64);
            for (auto& b : input)
                b = static_cast<uint8_t>(random());
        }
        // A copy of exactly the input's size, so that the sanitizer sees any read past it.
        std::vector<uint8_t> exact(input);
        LLVMFuzzerTestOneInput(exact.data(), exact.size());
        ++runs;
    }
    std::printf("%d inputs run\n", runs);
    return 0;
}
