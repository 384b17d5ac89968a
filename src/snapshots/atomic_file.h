#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/exception.h"

namespace flipbook {

// A file that could not be written. The message is the reason in plain words ("the disk is full"),
// for a status line that names the file itself.
class ESaveError : public Exception {
public:
    ESaveError(const std::string& reason, int systemError) : Exception(reason), systemError_(systemError) {}
    // The errno value behind the failure, 0 when there was none.
    int SystemError() const { return systemError_; }

private:
    int systemError_;
};

// The reason for a system error number in plain words: "the disk is full", "the folder is gone", ...
std::string PlainReason(int systemError);

// Writes the bytes to the path so that the path holds either the whole new file or what it held before:
// they go to a hidden temporary file in the same folder, which is flushed to the disk, closed (a close
// error counts) and then renamed over the path. Raises ESaveError after removing the temporary file.
void WriteFileAtomically(const std::string& path, const std::uint8_t* bytes, std::size_t count);

}  // namespace flipbook
