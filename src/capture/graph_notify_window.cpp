// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/graph_notify_window.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace flipbook {

TGraphNotifyWindow::TGraphNotifyWindow(Handler handler)
    : handler_(std::move(handler)), descriptor_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (descriptor_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(descriptor_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { DeliverPosts(); });
}

TGraphNotifyWindow::~TGraphNotifyWindow() {
    notifier_.reset();
    if (descriptor_ >= 0) close(descriptor_);
}

void TGraphNotifyWindow::PostNotify(std::uint32_t message, std::intptr_t instance) {
    {
        std::lock_guard lock(mutex_);
        posts_.push_back({message, instance});
    }
    std::uint64_t one = 1;
    if (descriptor_ >= 0) (void)!write(descriptor_, &one, sizeof one);
}

void TGraphNotifyWindow::DeliverPosts() {
    std::uint64_t count = 0;
    (void)!read(descriptor_, &count, sizeof count);
    // One message at a time, taken under the lock and handled outside it, since a handler's work
    // may make the service post again.
    while (true) {
        Post post;
        {
            std::lock_guard lock(mutex_);
            if (posts_.empty()) return;
            post = posts_.front();
            posts_.pop_front();
        }
        handler_(post.message, post.instance);
    }
}

}  // namespace flipbook
