// SPDX-License-Identifier: MIT
#pragma once

#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

// During a walk every command, reply and progress step would reach the
// display on its own, and painting would cost far more than the walk. The
// pacer holds back the painting of the widgets that change with every step
// (the log, the progress bar) while the work runs and brings them up to
// date at a human pace: at most every 50 ms (the timer runs in every wait,
// since waits block in the event loop), and at once at the end.
class ScreenPacer {
public:
    // `beforePaint` brings held-back content up to date (the log's lines).
    ScreenPacer(std::vector<QWidget*> widgets, std::function<void()> beforePaint);
    void Start();
    void Stop();
    bool Running() const { return timer_.isActive(); }

    static constexpr int kIntervalMs = 50;

private:
    void PaintNow();

    std::vector<QWidget*> widgets_;
    std::function<void()> beforePaint_;
    QTimer timer_;
};
