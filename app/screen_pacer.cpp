#include "app/screen_pacer.h"

#include <QWidget>

ScreenPacer::ScreenPacer(QWidget* window, std::function<void()> beforePaint)
    : window_(window), beforePaint_(std::move(beforePaint)) {
    timer_.setInterval(kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, window_, [this] {
        PaintNow();
        window_->setUpdatesEnabled(false);
    });
}

void ScreenPacer::Start() {
    if (timer_.isActive()) return;
    window_->setUpdatesEnabled(false);
    timer_.start();
}

void ScreenPacer::Stop() {
    if (!timer_.isActive()) return;
    timer_.stop();
    PaintNow();
}

// Enabling updates asks for the whole window to be painted; repaint does it
// now rather than at the next turn of the event loop.
void ScreenPacer::PaintNow() {
    beforePaint_();
    window_->setUpdatesEnabled(true);
    window_->repaint();
}
