#include "app/snapshot_folder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace flipbook {

namespace {

// Regular files and folders map onto the attributes a listing accepts (read-only, hidden, folder,
// archive); anything else stands for an attribute outside that set.
bool HasListableAttributes(const std::filesystem::directory_entry& entry) {
    std::error_code error;
    const auto status = entry.status(error);
    if (error) return false;
    return std::filesystem::is_regular_file(status) || std::filesystem::is_directory(status);
}

}  // namespace

std::string LowerCaseExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension;
}

std::string SnapshotName(std::chrono::system_clock::time_point time, const std::string& extension) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds);
    const std::time_t whole = seconds.count();
    std::tm local{};
    localtime_r(&whole, &local);
    char text[96];
    std::snprintf(text, sizeof text, "snap-%04d%02d%02d-%02d%02d%02d%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds.count()));
    return text + extension;
}

std::vector<std::string> ListPictureNames(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        const auto& entry = *entries;
        const std::string name = entry.path().filename().string();
        if (!HasListableAttributes(entry)) continue;
        if (LowerCaseExtension(name) != extension) continue;
        names.push_back(name);
    }
    return names;
}

}  // namespace flipbook
