// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSocketNotifier>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/mediagraph/graph.h"

namespace flipbook {

// The hidden window that receives the graph's event message: the service may post from any thread,
// and the handler runs later on the thread that made this object (the user-interface thread), from
// its event loop. Posts still pending when the object goes are dropped with it.
//
// A post is queued under a lock and signalled through an event descriptor that a socket notifier
// watches, rather than as a queued Qt call: nothing is allocated on one thread and freed on the
// other, and the hand-off is one that ThreadSanitizer can follow.
class TGraphNotifyWindow : public INotifyTarget {
public:
    using Handler = std::function<void(std::uint32_t message, std::intptr_t instance)>;

    explicit TGraphNotifyWindow(Handler handler);
    ~TGraphNotifyWindow() override;
    TGraphNotifyWindow(const TGraphNotifyWindow&) = delete;
    TGraphNotifyWindow& operator=(const TGraphNotifyWindow&) = delete;

    void PostNotify(std::uint32_t message, std::intptr_t instance) override;

private:
    struct Post {
        std::uint32_t message;
        std::intptr_t instance;
    };

    void DeliverPosts();

    Handler handler_;
    int descriptor_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::mutex mutex_;
    std::deque<Post> posts_;
};

}  // namespace flipbook
