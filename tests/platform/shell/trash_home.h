// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace flipbook::testing {

// A home folder of the test's own, so the user's trash is a fresh one under the temporary folder.
// The desktop library reads these variables once, so this must be a global environment that is
// set up before any test touches the trash. Files to trash must live on the same file system as
// the temporary folder (TempDir ensures that).
class TrashHome : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<TempDir>();
        const auto data = home_->Path() / ".local" / "share";
        std::filesystem::create_directories(data);
        setenv("HOME", home_->Path().c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        trash_ = data / "Trash";
    }
    void TearDown() override { home_.reset(); }

    static std::filesystem::path Trash() { return trash_; }
    static std::filesystem::path TrashedFile(const std::string& name) { return trash_ / "files" / name; }

    // The original path recorded in the restore information of the trashed name, its escapes decoded;
    // empty when there is no restore information.
    static std::string RestorePath(const std::string& name) {
        std::ifstream info(trash_ / "info" / (name + ".trashinfo"));
        std::string line;
        bool inSection = false;
        while (std::getline(info, line)) {
            if (line == "[Trash Info]") inSection = true;
            if (inSection && line.rfind("Path=", 0) == 0) return Unescape(line.substr(5));
        }
        return {};
    }

    // How many files the trash holds.
    static int TrashedCount() {
        std::error_code error;
        int count = 0;
        for (auto it = std::filesystem::directory_iterator(trash_ / "files", error);
             !error && it != std::filesystem::directory_iterator(); ++it) {
            ++count;
        }
        return count;
    }

private:
    static std::string Unescape(const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return out;
    }

    std::unique_ptr<TempDir> home_;
    static inline std::filesystem::path trash_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace flipbook::testing
