#pragma once

#include "processors/units/Biquad.h"
#include "processors/units/LevelRamp.h"

#include <QtGlobal>

// The positions of a mixer strip's three dials, each from -99 to 99 with 0 flat.
struct StripDials {
    static constexpr int kMin = -99;
    static constexpr int kMax = 99;

    qint32 gain = 0;
    qint32 highPass = 0;
    qint32 lowPass = 0;

    bool flat() const { return gain == 0 && highPass == 0 && lowPass == 0; }
    bool valid() const;
    bool operator==(const StripDials&) const = default;
};

// What a dial position does to the sound, for the strip and for the dial's tooltip.
namespace stripdials {

enum class Dial { Gain, HighPass, LowPass };

// Quarter decibels: the gain dial spans about ±25 dB.
double gainDb(int dial);
// The high-pass dial turned right sweeps a high-pass from 20 Hz up to 5 kHz; turned left it
// lifts the lows with a shelf at 120 Hz, up to 12 dB.
Biquad<double> highPassSection(int dial, double sampleRate);
// The low-pass dial turned right sweeps a low-pass from 20 kHz down to 500 Hz; turned left it
// lifts the highs with a shelf at 6 kHz, up to 12 dB.
Biquad<double> lowPassSection(int dial, double sampleRate);
// "+6.0 dB", "High-pass 250 Hz", "Low shelf +4.2 dB" and the like.
QString describe(Dial dial, int value);

} // namespace stripdials

// A mixer strip's gain stage and two filters. At the flat setting it leaves every sample
// exactly as it was; gain changes ramp over 5 ms so turning the dial does not click.
class MixerStrip {
public:
    explicit MixerStrip(int sampleRate);

    void setDials(const StripDials& dials);
    void setSampleRate(int hz);
    const StripDials& dials() const { return m_dials; }

    // In place, allocation-free.
    void process(double* samples, quint64 frames);

private:
    void design();

    int m_sampleRate;
    StripDials m_dials;
    LevelRamp m_gain;
    double m_targetGain = 1.0;
    Biquad<double> m_highPass;
    Biquad<double> m_lowPass;
};
