// SPDX-License-Identifier: GPL-3.0-or-later
// Replays files through a fuzz harness without libFuzzer, so CTest checks the corpus and every past
// finding on every build. Arguments are files or folders (read recursively); a missing folder is skipped.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Replay(const std::filesystem::path& file) {
    std::ifstream input(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int index = 1; index < argc; ++index) {
        const std::filesystem::path path(argv[index]);
        if (std::filesystem::is_regular_file(path)) {
            Replay(path);
            ++replayed;
        } else if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (!entry.is_regular_file()) continue;
                Replay(entry.path());
                ++replayed;
            }
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return 0;
}
