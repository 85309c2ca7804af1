#include "ui/mixer/MeterBallistics.h"

#include <algorithm>
#include <cmath>

void MeterBallistics::feed(double peak, double meanSquare, qint64 nowMs)
{
    const double seconds = m_lastMs < 0 ? 0.0 : std::max<qint64>(0, nowMs - m_lastMs) / 1000.0;
    m_lastMs = nowMs;
    const double fall = kFallDbPerSecond * seconds;
    const double peakDb = toDb(peak);

    m_peakDb = std::max(peakDb, std::max(kFloorDb, m_peakDb - fall));
    m_meanSquare += (meanSquare - m_meanSquare) * (1.0 - std::exp(-seconds * 1000.0 / kRmsMs));
    if (peakDb >= m_holdDb) {
        m_holdDb = peakDb;
        m_holdSince = nowMs;
    } else if (nowMs - m_holdSince > kHoldMs) {
        m_holdDb = std::max(kFloorDb, m_holdDb - fall);
    }
}

MeterLevels MeterBallistics::levels() const
{
    return { m_peakDb, toDb(std::sqrt(std::max(0.0, m_meanSquare))), m_holdDb };
}

double MeterBallistics::toDb(double amplitude)
{
    return amplitude > 0.0 ? std::max(kFloorDb, 20.0 * std::log10(amplitude)) : kFloorDb;
}

int MeterBallistics::barValue(double db)
{
    const double t = (std::clamp(db, kFloorDb, kCeilingDb) - kFloorDb) / (kCeilingDb - kFloorDb);
    return int(std::lround(t * kBarMaximum));
}
