// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace flipbook {

// The base of every exception the program raises; what() is the fixed message the user may see.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The framework's file and stream failures, with their fixed messages.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
// "Cannot create file %s"
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path) : EStreamError("Cannot create file " + path) {}
};
// "Cannot open file %s"
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path) : EStreamError("Cannot open file " + path) {}
};
// "Stream read error"
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};
// "Stream write error"
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
};
// "Bitmap image is not valid": a picture file or description that cannot be made into a Bitmap.
class EInvalidGraphic : public Exception {
public:
    EInvalidGraphic() : Exception("Bitmap image is not valid") {}

protected:
    // For the picture classes' own kinds of invalid picture, which carry their own message.
    explicit EInvalidGraphic(const std::string& message) : Exception(message) {}
};
// A picture asked to do something its kind cannot do (such as resizing a JPEG image).
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};
// The silent exception: it ends an operation without anything being reported to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

}  // namespace flipbook
