#pragma once

#include <QTimer>

class QWidget;

// During a walk every command, reply and progress step would reach the
// display on its own, and painting would cost far more than the walk. The
// pacer holds the window's painting back while the work runs and brings the
// screen up to date at a human pace: at most every 50 ms (the timer runs in
// every wait, since waits block in the event loop), and at once at the end.
class ScreenPacer {
public:
    explicit ScreenPacer(QWidget* window);
    void Start();
    void Stop();
    bool Running() const { return timer_.isActive(); }

    static constexpr int kIntervalMs = 50;

private:
    void PaintNow();

    QWidget* window_;
    QTimer timer_;
};
