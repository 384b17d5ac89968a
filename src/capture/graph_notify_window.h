#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

#include "platform/mediagraph/graph.h"

namespace flipbook {

// The hidden window that receives the graph's event message: the service may post from any thread,
// and the handler runs later on the thread that made this object (the user-interface thread), from
// its event loop. Posts still pending when the object goes are dropped with it.
class TGraphNotifyWindow : public INotifyTarget {
public:
    using Handler = std::function<void(std::uint32_t message, std::intptr_t instance)>;

    explicit TGraphNotifyWindow(Handler handler);
    ~TGraphNotifyWindow();
    TGraphNotifyWindow(const TGraphNotifyWindow&) = delete;
    TGraphNotifyWindow& operator=(const TGraphNotifyWindow&) = delete;

    void PostNotify(std::uint32_t message, std::intptr_t instance) override;

private:
    Handler handler_;
    QObject receiver_;
};

}  // namespace flipbook
