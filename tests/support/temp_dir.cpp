// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/temp_dir.h"

#include <cstdlib>
#include <cstdio>
#include <system_error>

namespace flipbook::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "flipbook-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    if (keep_) {
        std::fprintf(stderr, "kept test folder %s\n", path_.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path CorpusPath(const std::string& relative) {
    return std::filesystem::path(FLIPBOOK_CORPUS_DIR) / relative;
}

}  // namespace flipbook::testing
