// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace flipbook::testing {

// A fresh folder under the system's temporary folder, removed when the object goes unless
// Keep() was called (a test keeps its folder when it fails, so it can be looked at).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of a name inside the folder, as a string.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    void Keep() { keep_ = true; }

private:
    std::filesystem::path path_;
    bool keep_ = false;
};

// The conformance corpus folder (tests/data in the repository unless configured otherwise), joined with a relative path.
std::filesystem::path CorpusPath(const std::string& relative);

}  // namespace flipbook::testing
