// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/mediagraph/media_type.h"

namespace flipbook {

class Stream;

// An AM_MEDIA_TYPE record with its format block, kept with its owner's settings. The stored "data"
// value is the record's 72-byte image followed by the format block (cbFormat bytes); the image's
// reference and address slots are written as 0 and ignored when read.
class TMediaType {
public:
    static constexpr std::size_t kRecordImageSize = 72;

    // All zero except fixed-size samples (true) and sample size 1.
    TMediaType();
    // Frees the format block and drops the reference.
    ~TMediaType();
    TMediaType(const TMediaType& other);
    TMediaType& operator=(const TMediaType& other);

    const AM_MEDIA_TYPE& MediaType() const { return record_; }
    AM_MEDIA_TYPE& MediaType() { return record_; }

    // Copies the record, duplicating the format block (none when that allocation fails) and taking a
    // reference to pUnk.
    void Assign(const TMediaType& other);
    void Assign(const AM_MEDIA_TYPE& other);

    // Same major type, subtype and format type, and format blocks of the same length and bytes.
    bool Equals(const TMediaType& other) const;

    // Replaces the record with the stored value read from the stream. A format length the stream
    // cannot hold raises EReadError before anything is allocated; the record then has no block.
    void ReadData(Stream& stream);
    void WriteData(Stream& stream) const;
    // Whether the settings stored against ancestor need "data": not when its media type is equal.
    bool StoresData(const TMediaType* ancestor) const;

private:
    AM_MEDIA_TYPE record_{};
};

}  // namespace flipbook
