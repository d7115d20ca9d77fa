// The screen's frame clock: one timer for everything that is shown at the screen's pace.
#include <QPointer>
#include <QTimer>
#include <utility>
#include <vector>

#include "internal.h"

namespace platform_detail {
namespace {

std::vector<std::pair<QPointer<QObject>, std::function<void()>>>& Waiting() {
    static std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting;
    return waiting;
}

}  // namespace

void AtNextScreenFrame(QObject* owner, std::function<void()> show) {
    Waiting().emplace_back(owner, std::move(show));
    if (Waiting().size() == 1) QTimer::singleShot(kScreenFrameMs, Qt::PreciseTimer, &ShowScreenFrameNow);
}

// What is queued while these run waits for the next tick; a tick that finds nothing does nothing.
void ShowScreenFrameNow() {
    const auto due = std::exchange(Waiting(), {});
    for (const auto& [owner, show] : due)
        if (owner) show();
}

}  // namespace platform_detail
