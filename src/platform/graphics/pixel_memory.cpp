// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/pixel_memory.h"

#include <cstring>

namespace flipbook {

void SharedPixelMemory::LetGo::operator()(Block* block) const noexcept {
    // Release with the last read of this holder; the holder that deletes acquires all of them.
    if (block->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block;
}

SharedPixelMemory::BlockHold SharedPixelMemory::Hold(Block* block) noexcept {
    if (block) block->holders.fetch_add(1, std::memory_order_relaxed);
    return BlockHold(block);
}

SharedPixelMemory& SharedPixelMemory::operator=(const SharedPixelMemory& other) noexcept {
    if (other.block_ != block_) block_ = Hold(other.block_.get());
    return *this;
}

SharedPixelMemory::BlockHold SharedPixelMemory::Own(PixelMemory&& bytes) {
    BlockHold block(new Block);
    block->bytes = std::move(bytes);
    return block;
}

SharedPixelMemory& SharedPixelMemory::operator=(PixelMemory&& bytes) {
    if (block_ && !Shared()) {
        block_->bytes = std::move(bytes);
    } else {
        block_ = Own(std::move(bytes));
    }
    return *this;
}

std::uint8_t* SharedPixelMemory::data() {
    if (!block_) return nullptr;
    if (Shared()) {
        // Made whole before the shared memory is let go: a failed allocation changes nothing.
        PixelMemory copy(block_->bytes.size());
        if (!copy.empty()) std::memcpy(copy.data(), block_->bytes.data(), copy.size());
        block_ = Own(std::move(copy));
    }
    return block_->bytes.data();
}

void SharedPixelMemory::ResizeForOverwrite(std::size_t size) {
    if (!block_ || Shared() || block_->bytes.capacity() < size) {
        block_ = Own(PixelMemory(size));
    } else {
        block_->bytes.resize(size);
    }
}

void SharedPixelMemory::ClearKeepingMemory() {
    if (Shared()) {
        block_.reset();
    } else if (block_) {
        block_->bytes.clear();
    }
}

}  // namespace flipbook
