// SPDX-License-Identifier: MIT
#include "platform/timer.h"

#include "platform/messages.h"

#include <QTimer>

namespace platform {

PeriodicTimer::PeriodicTimer(int intervalMs, std::function<void()> onTick) {
    EnsureApplication();
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(intervalMs);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, Guarded(std::move(onTick)));
}

PeriodicTimer::~PeriodicTimer() = default;

void PeriodicTimer::SetEnabled(bool enabled) {
    if (enabled == timer_->isActive()) return;
    if (enabled) {
        timer_->start();
    } else {
        timer_->stop();
    }
}

void PeriodicTimer::Restart() { timer_->start(); }

bool PeriodicTimer::Enabled() const { return timer_->isActive(); }

}  // namespace platform
