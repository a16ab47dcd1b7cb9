#pragma once
// The event loop's longest wait between two turns: a timer asks for a turn every millisecond,
// and the longest wait between two is the window's worst freeze. For the probes that bench/
// runs, never for a test (it times).

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class TGapMeter
{
public:
    TGapMeter()
    {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
    }
    void Start()
    {
        clock_.start();
        last_ = 0;
        worst_ = 0;
        timer_.start();
    }
    // The longest gap in ms since Start, the last stretch up to now included.
    double Stop()
    {
        timer_.stop();
        worst_ = std::max(worst_, clock_.nsecsElapsed() - last_);
        return double(worst_) / 1e6;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};
