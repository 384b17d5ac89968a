// SPDX-License-Identifier: GPL-3.0-or-later
// Two threads copy into and out of one buffer with nothing ordering them. Run under ThreadSanitizer
// with the pipeline suppressions in force, it must be reported: the suppressions may hide what GLib
// and GStreamer do behind their own locks, never a copy of ours.
#include <cstring>
#include <thread>
#include <vector>

int main() {
    std::vector<char> shared(4096);
    const std::vector<char> source(4096, 1);
    std::vector<char> sink(4096);
    std::thread writer([&] { std::memcpy(shared.data(), source.data(), shared.size()); });
    std::thread reader([&] { std::memcpy(sink.data(), shared.data(), shared.size()); });
    writer.join();
    reader.join();
    return sink[0] == 2 ? 1 : 0;
}
