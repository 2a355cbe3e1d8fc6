// Replays the files named on the command line through a fuzz target, as libFuzzer replays a corpus, for builds
// without it. Each input is named before it runs, so the last name before an abort is the failing seed.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<std::uint8_t> input(std::istreambuf_iterator<char>(in), {});
        std::fprintf(stderr, "%s: %zu bytes\n", argv[i], input.size());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%d inputs replayed\n", argc - 1);
    return argc > 1 ? 0 : 1;
}
