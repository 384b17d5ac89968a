#include "capture/graph_notify_window.h"

#include <QMetaObject>

namespace flipbook {

TGraphNotifyWindow::TGraphNotifyWindow(Handler handler) : handler_(std::move(handler)) {}

TGraphNotifyWindow::~TGraphNotifyWindow() = default;

void TGraphNotifyWindow::PostNotify(std::uint32_t message, std::intptr_t instance) {
    QMetaObject::invokeMethod(
        &receiver_, [this, message, instance] { handler_(message, instance); }, Qt::QueuedConnection);
}

}  // namespace flipbook
