// SPDX-License-Identifier: GPL-3.0-or-later
// flipbookcam-graphs: the graph inspection tool. Without arguments it lists the graphs that running
// programs registered for inspection, one item text a line; given an item text (or its number in the
// list, from 1) it prints that graph's filters and connections.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/mediagraph/rot.h"

namespace {

constexpr const char* kGraphPrefix = "!FilterGraph ";

// The registered graphs, by item text: the display name without its "!" delimiter.
std::vector<flipbook::RunningObjectEntry> RegisteredGraphs() {
    std::vector<flipbook::RunningObjectEntry> graphs;
    for (flipbook::RunningObjectEntry& entry : flipbook::ReadRunningObjectTable()) {
        if (entry.displayName.rfind(kGraphPrefix, 0) != 0) continue;
        entry.displayName.erase(0, 1);
        graphs.push_back(std::move(entry));
    }
    return graphs;
}

const flipbook::RunningObjectEntry* Find(const std::vector<flipbook::RunningObjectEntry>& graphs,
                                         const std::string& wanted) {
    for (const flipbook::RunningObjectEntry& graph : graphs)
        if (graph.displayName == wanted) return &graph;
    char* end = nullptr;
    long number = std::strtol(wanted.c_str(), &end, 10);
    if (end && *end == '\0' && number >= 1 && static_cast<std::size_t>(number) <= graphs.size())
        return &graphs[static_cast<std::size_t>(number - 1)];
    return nullptr;
}

int Usage(std::FILE* out, int status) {
    std::fputs(
        "usage: flipbookcam-graphs            list the registered graphs\n"
        "       flipbookcam-graphs GRAPH      show a graph's filters and connections;\n"
        "                                     GRAPH is its item text or its number in the list\n"
        "       flipbookcam-graphs --help|--version\n",
        out);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) return Usage(stderr, 2);
    std::vector<flipbook::RunningObjectEntry> graphs = RegisteredGraphs();
    if (argc == 1) {
        for (const flipbook::RunningObjectEntry& graph : graphs)
            std::printf("%s\n", graph.displayName.c_str());
        return 0;
    }
    std::string wanted = argv[1];
    if (wanted == "-h" || wanted == "--help") return Usage(stdout, 0);
    if (wanted == "--version") {
        std::printf("flipbookcam-graphs %s\n", FLIPBOOK_VERSION);
        return 0;
    }
    const flipbook::RunningObjectEntry* graph = Find(graphs, wanted);
    if (!graph) {
        std::fprintf(stderr, "flipbookcam-graphs: no registered graph \"%s\"\n", wanted.c_str());
        return 1;
    }
    std::printf("%s\n%s", graph->displayName.c_str(), graph->description.c_str());
    return 0;
}
