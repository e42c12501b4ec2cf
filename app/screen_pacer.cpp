// SPDX-License-Identifier: MIT
#include "app/screen_pacer.h"

#include <QWidget>

ScreenPacer::ScreenPacer(std::vector<QWidget*> widgets, std::function<void()> beforePaint)
    : widgets_(std::move(widgets)), beforePaint_(std::move(beforePaint)) {
    timer_.setInterval(kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        PaintNow();
        for (QWidget* widget : widgets_) widget->setUpdatesEnabled(false);
    });
}

void ScreenPacer::Start() {
    if (timer_.isActive()) return;
    for (QWidget* widget : widgets_) widget->setUpdatesEnabled(false);
    timer_.start();
}

void ScreenPacer::Stop() {
    if (!timer_.isActive()) return;
    timer_.stop();
    PaintNow();
}

// Enabling updates asks for the widget to be painted; repaint does it now
// rather than at the next turn of the event loop.
void ScreenPacer::PaintNow() {
    beforePaint_();
    for (QWidget* widget : widgets_) {
        widget->setUpdatesEnabled(true);
        widget->repaint();
    }
}
