#pragma once

#include "ui/mixer/MeterBallistics.h"

#include <QProgressBar>

// The strip's vertical level bar: RMS as a solid bar, the peak as a lighter bar over it, the
// peak-hold as a line and a mark at 0 dBFS. Its value is the peak's place on the bar.
class LevelMeter : public QProgressBar {
    Q_OBJECT

public:
    explicit LevelMeter(QWidget* parent = nullptr);

    void setLevels(const MeterLevels& levels);
    const MeterLevels& levels() const { return m_levels; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int heightOf(double db, int span) const;

    MeterLevels m_levels { MeterBallistics::kFloorDb, MeterBallistics::kFloorDb,
        MeterBallistics::kFloorDb };
};
