// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace flipbook::testing {

// Makes a folder the process's current directory for as long as it lives, then goes back.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& to) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~CurrentDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace flipbook::testing
