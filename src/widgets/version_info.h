// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/exception.h"

namespace flipbook {

// A failure that carries a numeric error code beside its message.
class ECodedError : public Exception {
public:
    ECodedError(int code, const std::string& message) : Exception(message), code_(code) {}
    int ErrorCode() const { return code_; }

private:
    int code_;
};

// Failures of the version information reader: 73 "Error opening file", 100 "File does not contain
// version info", 101 "Unable to read version info".
class EVersionInfoError : public ECodedError {
public:
    using ECodedError::ECodedError;
};

// Reads the version block of an executable file: the fixed part and the string table of the first
// translation. Nothing is read until the first value is asked for; then the whole block is read
// once and kept until the file name changes.
class TVersionInfo {
public:
    using FileDateTime = std::chrono::sys_time<std::chrono::milliseconds>;

    // With no file name the reader reads the running program's own file.
    TVersionInfo();

    const std::string& FileName() const { return fileName_; }
    // Raises EVersionInfoError 73 when the name is not empty and names no existing file. An empty name
    // selects the running program's own file; another name than before makes the next request read again.
    void SetFileName(const std::string& name);

    // String-table entries of the first translation; empty when missing or empty. Every getter reads
    // the block first when it has not been read, raising EVersionInfoError 100 or 101 when that fails.
    std::string Comments() { return Read().comments; }
    std::string CompanyName() { return Read().companyName; }
    std::string FileDescription() { return Read().fileDescription; }
    std::string FileVersion() { return Read().fileVersion; }
    std::string InternalName() { return Read().internalName; }
    std::string LegalCopyright() { return Read().legalCopyright; }
    std::string LegalTrademarks() { return Read().legalTrademarks; }
    std::string OriginalFilename() { return Read().originalFilename; }
    std::string ProductName() { return Read().productName; }
    std::string ProductVersion() { return Read().productVersion; }

    // FileVersion and ProductVersion as numbers (VersionStringToNumber).
    double FileVersionNumber() { return Read().fileVersionNumber; }
    double ProductVersionNumber() { return Read().productVersionNumber; }

    // The fixed part.
    std::uint32_t FileVersionMS() { return Read().fileVersionMS; }
    std::uint32_t FileVersionLS() { return Read().fileVersionLS; }
    std::uint32_t ProductVersionMS() { return Read().productVersionMS; }
    std::uint32_t ProductVersionLS() { return Read().productVersionLS; }
    std::uint32_t FileFlags() { return Read().fileFlags; }
    std::uint32_t FileFlagsMask() { return Read().fileFlagsMask; }
    std::uint32_t FileOS() { return Read().fileOS; }
    std::uint32_t FileType() { return Read().fileType; }
    std::uint32_t FileSubtype() { return Read().fileSubtype; }
    // The fixed part's 64-bit date taken as a file time (100 ns since 1601), without a time zone.
    FileDateTime FileDate() { return Read().fileDate; }

    // The first translation entry as stored (language in the low half, code page in the high half),
    // the number of entries, and the name of the first entry's language.
    std::uint32_t TranslationValue() { return Read().translationValue; }
    int TranslationCount() { return Read().translationCount; }
    std::string LanguageName() { return Read().languageName; }

private:
    struct Values {
        std::string comments, companyName, fileDescription, fileVersion, internalName, legalCopyright,
            legalTrademarks, originalFilename, productName, productVersion;
        double fileVersionNumber = 0;
        double productVersionNumber = 0;
        std::uint32_t fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
        std::uint32_t fileFlags = 0, fileFlagsMask = 0, fileOS = 0, fileType = 0, fileSubtype = 0;
        FileDateTime fileDate{};
        std::uint32_t translationValue = 0;
        int translationCount = 0;
        std::string languageName;
    };

    const Values& Read();
    void ReadBlock();

    std::string fileName_;
    bool read_ = false;
    Values values_;
};

// A version string as a number: the whole string when it is a decimal number ("2004.06" gives
// 2004.06); otherwise the text before the second "." when that stands within the first six
// characters ("1.0.1000.0" gives 1.0); otherwise 0 ("10.100.5" gives 0).
double VersionStringToNumber(std::string_view text);

// The name of a language identifier, for example "English (United States)" for 0x0409.
std::string LanguageIdName(std::uint16_t languageId);

}  // namespace flipbook
