// Measures how long the GUI thread went without handling its events: the longest gap between
// two ticks of a 10 ms timer.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

class GuiStallProbe {
  public:
    GuiStallProbe() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            worstGapNs = std::max(worstGapNs, gap.nsecsElapsed());
            gap.restart();
        });
    }
    void Start() {
        gap.start();
        timer.start(10);
    }
    /// The longest gap so far in milliseconds, the 10 ms period included.
    double WorstGapMs() const { return static_cast<double>(worstGapNs) / 1e6; }

  private:
    QElapsedTimer gap;
    qint64 worstGapNs = 0;
    QTimer timer;
};
