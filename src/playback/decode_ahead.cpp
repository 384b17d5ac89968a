// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/decode_ahead.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

#include "effects/fit.h"
#include "platform/graphics/bitmap.h"
#include "playback/picture_header.h"

namespace flipbook {
namespace {

// Joins the workers of plays that were stopped, one after another on a thread of its own. It lives
// until the process exits, which waits for it, so no decode runs on into the program's end.
class Reaper {
public:
    static Reaper& Instance() {
        static Reaper reaper;
        return reaper;
    }
    ~Reaper() {
        {
            std::lock_guard guard(lock_);
            ending_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;

    void Take(std::vector<std::thread> threads) {
        {
            std::lock_guard guard(lock_);
            for (std::thread& thread : threads) waiting_.push_back(std::move(thread));
        }
        wake_.notify_one();
    }

private:
    Reaper() : thread_([this] { Run(); }) {}

    void Run() {
        std::unique_lock guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return ending_ || !waiting_.empty(); });
            if (waiting_.empty()) return;
            std::thread next = std::move(waiting_.front());
            waiting_.pop_front();
            guard.unlock();
            next.join();
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::thread> waiting_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace

struct TDecodeAhead::State {
    struct Slot {
        std::shared_ptr<const Bitmap> picture;
        std::size_t bytes = 0;
        bool ready = false;
    };
    // What a claim costs while its picture is decoded, from the file's header.
    struct Cost {
        std::size_t bytes = 0;
        bool known = false;  // false: the header could not be read
    };
    // A decoded picture, and the pixel memory its decoding held at most.
    struct Decoded {
        std::shared_ptr<const Bitmap> picture;
        std::size_t loadedBytes = 0;
    };

    State(std::vector<std::string> list, PictureLoader loader, bool loop, DecodeAheadSettings chosen)
        : pictures(std::move(list)),
          load(std::move(loader)),
          settings(chosen),
          end(pictures.empty() ? 0
              : loop           ? std::numeric_limits<std::uint64_t>::max()
                               : pictures.size()),
          unreadable(std::make_shared<const Bitmap>()),
          costs(pictures.size()) {}

    bool Fitting() const { return settings.fitWidth > 0 && settings.fitHeight > 0; }
    std::size_t FittedBytes() const {
        const std::size_t stride = (static_cast<std::size_t>(settings.fitWidth) * 3 + 3) & ~std::size_t{3};
        return stride * static_cast<std::size_t>(settings.fitHeight);
    }

    // Memory a decode holds at most: the decoder's full-size picture, and beside it the fitted copy.
    Cost CostOf(const std::string& path) const {
        const std::optional<PictureHeader> header = ReadPictureHeader(path);
        if (!header) return {};
        return {header->PixelBytes() + (Fitting() ? FittedBytes() : 0), true};
    }

    bool WithinFrames() const {
        return next < end && next - taken < std::max<std::size_t>(settings.maxFrames, 1);
    }
    // The cost of claiming the next position: measured, or the largest so far when the header said
    // nothing; nothing while it still has to be measured.
    std::optional<std::size_t> NextCost() const {
        const std::optional<Cost>& cost = costs[next % pictures.size()];
        if (!cost) return std::nullopt;
        return cost->known ? cost->bytes : largestClaim;
    }
    bool CanClaim() const {
        if (!WithinFrames()) return false;
        const std::optional<std::size_t> cost = NextCost();
        if (!cost) return true;  // to be measured
        // One picture is always allowed, however large; one of unknown size before any other is known.
        if (slots.empty()) return true;
        if (*cost == 0) return false;
        return heldBytes + *cost <= settings.maxBytes;
    }

    void Work() {
        std::unique_lock guard(lock);
        for (;;) {
            workAvailable.wait(guard, [this] { return stopping || CanClaim(); });
            if (stopping) return;
            const std::size_t index = next % pictures.size();
            if (!costs[index]) {
                // Read outside the lock; two workers measuring one picture at once cost only a read.
                guard.unlock();
                const Cost cost = CostOf(pictures[index]);
                guard.lock();
                costs[index] = cost;
                // A cost too large to claim now may leave the player nothing more to wait for.
                pictureReady.notify_all();
                continue;
            }
            const std::size_t estimate = *NextCost();
            const std::uint64_t position = next++;
            slots[position].bytes = estimate;
            heldBytes += estimate;
            peakBytes = std::max(peakBytes, heldBytes);

            guard.unlock();
            Decoded decoded = Decode(position);
            guard.lock();

            const std::size_t bytes = decoded.picture->PixelBytes();
            largestClaim = std::max(largestClaim, decoded.loadedBytes + (Fitting() ? bytes : 0));
            auto slot = slots.find(position);
            // Taken past while it was decoding: not kept, and its estimate already left with its slot.
            if (slot == slots.end()) {
                workAvailable.notify_all();
                continue;
            }
            heldBytes = heldBytes - estimate + bytes;
            peakBytes = std::max(peakBytes, heldBytes);
            slot->second = {std::move(decoded.picture), bytes, true};
            pictureReady.notify_all();
            // Less is held than was claimed for: another worker may fit now.
            workAvailable.notify_all();
        }
    }

    Decoded Decode(std::uint64_t position) const {
        // Anything a decoder throws (out of memory on a huge picture, say) makes that one picture
        // unreadable; escaping the worker would end the program.
        try {
            auto picture = std::make_shared<Bitmap>();
            Bitmap loaded;
            if (!load(loaded, pictures[position % pictures.size()]) || loaded.Empty()) return {unreadable, 0};
            const std::size_t loadedBytes = loaded.PixelBytes();
            if (Fitting()) {
                FitToSize(loaded, *picture, settings.fitWidth, settings.fitHeight);
            } else {
                if (loaded.BitsPerPixel() != 24) loaded.SetPixelFormat(PixelFormat::Bit24);
                *picture = std::move(loaded);
            }
            return {std::move(picture), loadedBytes};
        } catch (...) {
            return {unreadable, 0};
        }
    }

    const std::vector<std::string> pictures;
    const PictureLoader load;
    const DecodeAheadSettings settings;
    const std::uint64_t end;
    // What a picture that cannot be read stands as, made beforehand so that failing needs no memory.
    const std::shared_ptr<const Bitmap> unreadable;

    mutable std::mutex lock;
    std::condition_variable workAvailable;
    std::condition_variable pictureReady;
    std::map<std::uint64_t, Slot> slots;     // claimed positions, decoding or ready
    std::vector<std::optional<Cost>> costs;  // by picture, once measured
    std::uint64_t next = 0;                  // the next position a worker claims
    std::uint64_t taken = 0;                 // positions before it were taken
    std::size_t heldBytes = 0;               // ready pictures, and the claims of those decoding
    std::size_t peakBytes = 0;
    std::size_t largestClaim = 0;  // what the largest decode so far held
    bool stopping = false;
};

TDecodeAhead::TDecodeAhead(std::vector<std::string> pictures, PictureLoader load, bool loop,
                           DecodeAheadSettings settings)
    : state_(std::make_shared<State>(std::move(pictures), std::move(load), loop, settings)) {
    // Made before any worker, so it outlives whatever they use that is made after it.
    Reaper::Instance();
    const int threads = std::max(1, settings.threads);
    for (int worker = 0; worker < threads; ++worker)
        workers_.emplace_back([state = state_] { state->Work(); });
}

TDecodeAhead::~TDecodeAhead() {
    Stop();
    Reaper::Instance().Take(std::move(workers_));
}

void TDecodeAhead::Stop() {
    {
        std::lock_guard guard(state_->lock);
        state_->stopping = true;
    }
    state_->workAvailable.notify_all();
    state_->pictureReady.notify_all();
}

std::shared_ptr<const Bitmap> TDecodeAhead::Take(std::uint64_t position) {
    State& state = *state_;
    std::unique_lock guard(state.lock);
    if (position >= state.end || position < state.taken) return nullptr;
    state.pictureReady.wait(guard, [&] {
        if (state.stopping) return true;
        const auto slot = state.slots.find(position);
        return slot != state.slots.end() && slot->second.ready;
    });
    if (state.stopping) return nullptr;
    std::shared_ptr<const Bitmap> picture = std::move(state.slots[position].picture);
    for (auto slot = state.slots.begin(); slot != state.slots.end() && slot->first <= position;) {
        state.heldBytes -= slot->second.bytes;
        slot = state.slots.erase(slot);
    }
    state.taken = position + 1;
    state.next = std::max(state.next, state.taken);
    guard.unlock();
    state.workAvailable.notify_all();
    return picture;
}

void TDecodeAhead::WaitUntilAhead(std::size_t pictures) {
    State& state = *state_;
    std::unique_lock guard(state.lock);
    state.pictureReady.wait(guard, [&] {
        if (state.stopping) return true;
        std::size_t ready = 0;
        bool decoding = false;
        for (const auto& [position, slot] : state.slots) {
            if (slot.ready && position == state.taken + ready) ++ready;
            decoding = decoding || !slot.ready;
        }
        return ready >= pictures || (!decoding && !state.CanClaim());
    });
}

std::size_t TDecodeAhead::PeakBytes() const {
    std::lock_guard guard(state_->lock);
    return state_->peakBytes;
}

}  // namespace flipbook
