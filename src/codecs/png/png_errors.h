// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/core/exception.h"

namespace flipbook {

// The PNG object's failures. Each class carries one fixed message; EPngError carries one of three.

class EPNGInvalidFileHeader : public Exception {
public:
    EPNGInvalidFileHeader()
        : Exception(
              "The file being readed is not a valid \"Portable Network Graphics\" image because it contains "
              "an "
              "invalid header. This file may be corruped, try obtaining it again.") {}
};

class EPNGIHDRNotFirst : public Exception {
public:
    EPNGIHDRNotFirst()
        : Exception(
              "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR "
              "chunk "
              "is not the first)") {}
};

class EPngUnexpectedEnd : public Exception {
public:
    EPngUnexpectedEnd()
        : Exception(
              "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected "
              "end "
              "of the file.") {}
};

class EPngInvalidCRC : public Exception {
public:
    EPngInvalidCRC()
        : Exception(
              "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of "
              "data "
              "(crc error)") {}
};

class EPngInvalidIHDR : public Exception {
public:
    EPngInvalidIHDR()
        : Exception(
              "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of "
              "data "
              "(ihdr) might be corrupted") {}
};

class EPNGSizeExceeds : public Exception {
public:
    EPNGSizeExceeds()
        : Exception(
              "This \"Portable Network Graphics\" image is not supported because either it's width or height "
              "exceeds the maximum size, which is 65535 pixels length.") {}
};

class EPNGUnknownCompression : public Exception {
public:
    EPNGUnknownCompression()
        : Exception(
              "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which "
              "could not be decoded.") {}
};

class EPNGUnknownInterlace : public Exception {
public:
    EPNGUnknownInterlace()
        : Exception(
              "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be "
              "decoded.") {}
};

class EPNGUnknownCriticalChunk : public Exception {
public:
    EPNGUnknownCriticalChunk()
        : Exception(
              "This \"Portable Network Graphics\" image contains an unknown critical part which could not be "
              "decoded.") {}
};

class EPNGInvalidPalette : public Exception {
public:
    EPNGInvalidPalette()
        : Exception("The \"Portable Network Graphics\" image contains an invalid palette.") {}
};

class EPNGNoImageData : public Exception {
public:
    EPNGNoImageData() : Exception("This \"Portable Network Graphics\" image contains no data.") {}
};

class EPNGMissingMultipleIDAT : public Exception {
public:
    EPNGMissingMultipleIDAT()
        : Exception(
              "This \"Portable Network Graphics\" image is invalid because it has missing image parts.") {}
};

// Inflating (or deflating) the image data failed; the message ends with zlib's result described.
class EPNGZLIBError : public Exception {
public:
    explicit EPNGZLIBError(int zlibResult)
        : Exception(
              "Could not decompress the image because it contains invalid compressed data.\r\n "
              "Description: " +
              ZlibResultDescription(zlibResult)) {}

    // "data error (-3)" and its siblings; unknown codes give their number in brackets.
    static std::string ZlibResultDescription(int zlibResult);
};

class EPNGHeaderNotPresent : public Exception {
public:
    EPNGHeaderNotPresent()
        : Exception("This operation is not valid because the current image contains no valid header.") {}
};

class EPNGOutMemory : public Exception {
public:
    EPNGOutMemory()
        : Exception(
              "Some operation could not be performed because the system is out of resources. Close some "
              "windows and try again.") {}
};

// The general PNG failure, with one of the messages below.
class EPngError : public Exception {
public:
    using Exception::Exception;

    static constexpr const char* kNoSuchPaletteEntry = "There is no such palette entry.";
    static constexpr const char* kChunksNotCompatible = "The chunks must be compatible to be assigned.";
    static constexpr const char* kCannotResize =
        "The \"Portable Network Graphics\" image can not be resize by changing width and height properties. "
        "Try assigning the image from a bitmap.";
};

}  // namespace flipbook
