// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/version_info.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>

#include "platform/versionres/version_block.h"

namespace flipbook {
namespace {

constexpr int kErrorOpeningFile = 73;
constexpr int kNoVersionInfo = 100;
constexpr int kCannotReadVersionInfo = 101;

[[noreturn]] void Fail(int code) {
    switch (code) {
        case kErrorOpeningFile:
            throw EVersionInfoError(code, "Error opening file");
        case kNoVersionInfo:
            throw EVersionInfoError(code, "File does not contain version info");
        default:
            throw EVersionInfoError(code, "Unable to read version info");
    }
}

std::optional<double> ParseDecimal(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    // from_chars would also take "inf" and "nan", which are no version numbers.
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

TVersionInfo::FileDateTime FileTimeToDate(std::uint32_t high, std::uint32_t low) {
    using namespace std::chrono;
    const std::uint64_t fileTime = (static_cast<std::uint64_t>(high) << 32) | low;
    constexpr std::uint64_t kTicksPerMillisecond = 10'000;
    constexpr sys_days kFileTimeEpoch = year{1601} / January / 1;
    // Like the platform, refuse file times with the top bit set; the date stays at the epoch then.
    const std::uint64_t milliseconds = fileTime >> 63 ? 0 : fileTime / kTicksPerMillisecond;
    return TVersionInfo::FileDateTime{kFileTimeEpoch} + std::chrono::milliseconds(milliseconds);
}

std::string OwnExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

}  // namespace

TVersionInfo::TVersionInfo() {
    SetFileName("");
}

void TVersionInfo::SetFileName(const std::string& name) {
    std::error_code error;
    if (!name.empty() && !std::filesystem::is_regular_file(name, error)) Fail(kErrorOpeningFile);
    if (name != fileName_) read_ = false;
    fileName_ = name;
    if (fileName_.empty()) fileName_ = OwnExecutablePath();
}

const TVersionInfo::Values& TVersionInfo::Read() {
    if (!read_) ReadBlock();
    return values_;
}

void TVersionInfo::ReadBlock() {
    versionres::FileVersionBlock file = versionres::ReadFileVersionBlock(fileName_);
    if (file.status == versionres::VersionBlockStatus::Missing) Fail(kNoVersionInfo);
    if (file.status != versionres::VersionBlockStatus::Found) Fail(kCannotReadVersionInfo);
    const versionres::VersionBlock block(std::move(file.bytes));

    const auto translations = block.QueryValue("\\VarFileInfo\\Translation");
    if (!translations) Fail(kCannotReadVersionInfo);
    // An empty list reads as language 0, code page 0: nothing beyond the list is touched.
    std::uint8_t first[4] = {};
    std::copy_n(translations->begin(), std::min<std::size_t>(translations->size(), 4), first);
    const auto language = static_cast<std::uint16_t>(first[0] | (first[1] << 8));
    const auto codePage = static_cast<std::uint16_t>(first[2] | (first[3] << 8));
    values_.translationValue =
        static_cast<std::uint32_t>(language) | (static_cast<std::uint32_t>(codePage) << 16);
    values_.translationCount = static_cast<int>(translations->size() / 4);
    values_.languageName = LanguageIdName(language);

    // From here the reader counts as read, even when a later step fails.
    read_ = true;

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "StringFileInfo\\%04x%04x\\", language, codePage);

    const auto fixedBytes = block.QueryValue("\\");
    if (!fixedBytes || fixedBytes->empty()) Fail(kCannotReadVersionInfo);
    const versionres::FixedFileInfo fixed = versionres::FixedFileInfo::Parse(*fixedBytes);
    values_.fileVersionMS = fixed.fileVersionMS;
    values_.fileVersionLS = fixed.fileVersionLS;
    values_.productVersionMS = fixed.productVersionMS;
    values_.productVersionLS = fixed.productVersionLS;
    values_.fileFlags = fixed.fileFlags;
    values_.fileFlagsMask = fixed.fileFlagsMask;
    values_.fileOS = fixed.fileOS;
    values_.fileType = fixed.fileType;
    values_.fileSubtype = fixed.fileSubtype;
    values_.fileDate = FileTimeToDate(fixed.fileDateMS, fixed.fileDateLS);

    const std::pair<const char*, std::string Values::*> keys[] = {
        {"Comments", &Values::comments},
        {"CompanyName", &Values::companyName},
        {"FileDescription", &Values::fileDescription},
        {"FileVersion", &Values::fileVersion},
        {"InternalName", &Values::internalName},
        {"LegalCopyright", &Values::legalCopyright},
        {"LegalTrademarks", &Values::legalTrademarks},
        {"OriginalFilename", &Values::originalFilename},
        {"ProductName", &Values::productName},
        {"ProductVersion", &Values::productVersion},
    };
    for (const auto& [key, field] : keys) {
        values_.*field = block.QueryText(std::string(prefix) + key).value_or(std::string());
    }
    values_.fileVersionNumber = VersionStringToNumber(values_.fileVersion);
    values_.productVersionNumber = VersionStringToNumber(values_.productVersion);
}

double VersionStringToNumber(std::string_view text) {
    if (const std::optional<double> whole = ParseDecimal(text)) return *whole;
    const std::size_t firstDot = text.find('.');
    const std::size_t secondDot =
        firstDot == std::string_view::npos ? firstDot : text.find('.', firstDot + 1);
    constexpr std::size_t kLastPlaceOfSecondDot = 5;  // the sixth character
    if (secondDot == std::string_view::npos || secondDot > kLastPlaceOfSecondDot) return 0;
    return ParseDecimal(text.substr(0, secondDot)).value_or(0);
}

std::string LanguageIdName(std::uint16_t languageId) {
    struct Named {
        std::uint16_t id;
        const char* name;
    };
    // Full identifiers first, then primary languages (low ten bits) for the sublanguages not listed.
    static constexpr Named kLanguages[] = {
        {0x0000, "Language Neutral"},          {0x0409, "English (United States)"},
        {0x0809, "English (United Kingdom)"},  {0x0C09, "English (Australia)"},
        {0x1009, "English (Canada)"},          {0x0407, "German (Germany)"},
        {0x0807, "German (Switzerland)"},      {0x0C07, "German (Austria)"},
        {0x040C, "French (France)"},           {0x080C, "French (Belgium)"},
        {0x0C0C, "French (Canada)"},           {0x0410, "Italian (Italy)"},
        {0x0C0A, "Spanish (Spain)"},           {0x080A, "Spanish (Mexico)"},
        {0x0413, "Dutch (Netherlands)"},       {0x0416, "Portuguese (Brazil)"},
        {0x0816, "Portuguese (Portugal)"},     {0x0419, "Russian (Russia)"},
        {0x0411, "Japanese (Japan)"},          {0x0412, "Korean (Korea)"},
        {0x0804, "Chinese (Simplified, PRC)"}, {0x0404, "Chinese (Traditional, Taiwan)"},
    };
    static constexpr Named kPrimaryLanguages[] = {
        {0x07, "German"},  {0x09, "English"},    {0x0A, "Spanish"},   {0x0C, "French"},
        {0x10, "Italian"}, {0x11, "Japanese"},   {0x12, "Korean"},    {0x13, "Dutch"},
        {0x15, "Polish"},  {0x16, "Portuguese"}, {0x19, "Russian"},   {0x1D, "Swedish"},
        {0x04, "Chinese"}, {0x06, "Danish"},     {0x14, "Norwegian"}, {0x0B, "Finnish"},
    };
    for (const Named& language : kLanguages) {
        if (language.id == languageId) return language.name;
    }
    for (const Named& language : kPrimaryLanguages) {
        if (language.id == (languageId & 0x3FF)) return language.name;
    }
    return "Unknown language";
}

}  // namespace flipbook
