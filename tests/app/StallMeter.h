#pragma once
// Measures how long the window's thread goes without handling its events: a timer fires every
// 10 ms and the largest gap between two firings is kept. A measurement for the record, never
// an assertion.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

namespace ovx::testing {

class StallMeter {
  public:
    StallMeter() {
        clock_.start();
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
        timer_.start(10);
    }
    // The longest gap so far beyond the timer's own period, in milliseconds.
    qint64 WorstStallMs() const { return std::max<qint64>(0, worst_ - 10); }

  private:
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

}  // namespace ovx::testing
