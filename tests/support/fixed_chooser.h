// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>

#include "widgets/select_dir.h"

namespace flipbook::testing {

// Answers the folder chooser with one folder, as the user would; installed for its lifetime.
class FixedChooser : public DirectoryChooser {
public:
    explicit FixedChooser(std::string folder)
        : folder_(std::move(folder)), previous_(InstallDirectoryChooser(this)) {}
    ~FixedChooser() override { InstallDirectoryChooser(previous_); }
    FixedChooser(const FixedChooser&) = delete;
    FixedChooser& operator=(const FixedChooser&) = delete;
    bool Select(QWidget*, std::string& directory, SelectDirOptions, int) override {
        directory = folder_;
        return true;
    }

private:
    std::string folder_;
    DirectoryChooser* previous_;
};

}  // namespace flipbook::testing
