// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/filters.h"

namespace flipbook {

class Stream;

// A byte block kept with its owner's settings. Its stored "data" value is the block's length as 4
// bytes, little-endian, followed by the block.
class TPersistentMemory {
public:
    TPersistentMemory() = default;
    virtual ~TPersistentMemory() = default;
    TPersistentMemory(const TPersistentMemory& other) { Assign(other); }
    TPersistentMemory& operator=(const TPersistentMemory& other) {
        Assign(other);
        return *this;
    }

    const std::uint8_t* Data() const { return block_.empty() ? nullptr : block_.data(); }
    std::uint32_t DataLength() const { return static_cast<std::uint32_t>(block_.size()); }
    // Frees the old block and makes a zero-filled one of that length; 0 leaves no block.
    void SetDataLength(std::uint32_t length);

    // Copies the other block.
    void Assign(const TPersistentMemory& other);

    // Replaces the block with the stored value read from the stream. A length the stream cannot hold
    // raises EReadError before anything is allocated, and the block is then empty.
    void ReadData(Stream& stream);
    void WriteData(Stream& stream) const;
    // Whether the settings stored against ancestor need "data": not when both blocks have the same
    // non-zero length and the same bytes.
    bool StoresData(const TPersistentMemory* ancestor) const;

protected:
    std::uint8_t* MutableData() { return block_.data(); }

private:
    std::vector<std::uint8_t> block_;
};

// A moniker kept as its persisted image: the moniker's 16-byte class id followed by its own state.
// An empty block means no moniker.
class TBaseFilter : public TPersistentMemory {
public:
    // None for an empty block, or when the image cannot be loaded.
    ComPtr<IMoniker> Moniker() const;
    // None empties the block; a moniker that cannot be saved leaves the block empty too.
    void SetMoniker(IMoniker* moniker);
    // Binds the moniker to its filter; none without a moniker or when binding fails.
    ComPtr<IBaseFilter> CreateFilter() const;
};

}  // namespace flipbook
