#include "core/AudioContext.h"
#include "processors/sources/NoiseProcessor.h"
#include "processors/sources/OscProcessor.h"
#include "processors/sources/SampleProcessor.h"
#include "processors/sources/SawProcessor.h"

#include "InstrumentTesting.h"

#include <algorithm>
#include <array>
#include <utility>

using namespace instrumentTesting;

// One block of `frames`, prefilled with `fill` so that writers can be told from adders.
const auto block = [](Processor& processor, int frames, double fill = 0.0) {
    return render(processor, Samples(frames, fill), frames);
};

class SourcesTest : public QObject {
    Q_OBJECT

private slots:
    void sawNoteDrivesTheDetunedVoices_data();
    void sawNoteDrivesTheDetunedVoices();
    void sawSecondRow_data();
    void sawSecondRow();
    void noiseFollowsGateAndVolume_data();
    void noiseFollowsGateAndVolume();
    void sampleVoicesPlayFromTheStart_data();
    void sampleVoicesPlayFromTheStart();
    void sampleVoicesStayTakenUntilANoteOff_data();
    void sampleVoicesStayTakenUntilANoteOff();
    void oscSpectrumHasOnlyTheShapesHarmonics_data();
    void oscSpectrumHasOnlyTheShapesHarmonics();
    void oscNotesStartAndStopWithoutAClick_data();
    void oscNotesStartAndStopWithoutAClick();
};

// Fingerprints of the first 1024 samples, recorded from seven saw voices written out from
// their definition: detuned by -0.9 to 0.9 Hz in steps of 0.3, each 2 phase / 2 pi - 1
// over phases from 0 (running into negative phases below 0 Hz), averaged and scaled by a
// level that ramps by 200 / 44100 per sample from 0.8 to the volume; while the level is
// at most 0.0001 the phases stand still and the output is 0.
void SourcesTest::sawNoteDrivesTheDetunedVoices_data()
{
    const DataTable<Row, Samples> add("row", "golden");
    // A fresh saw is silent at level 0.8: the level ramps to zero while every voice sits
    // near phase 0, each contributing about -1.
    const Samples fadeAt0Hz { 0.03643809035329932, -0.0039566905049780339 };
    add("no note", { 255, 255 }, fadeAt0Hz);
    add("no note, volume 0x40", { 255, 0x40 }, fadeAt0Hz);
    add("note-off", { 254, 255 }, fadeAt0Hz);
    add("A-4 at 0.8", { 69, 255 }, { 0.20770527198029642, -0.00029819687477856786 });
    add("A-3, volume 64", { 57, 64 }, { 0.033685670109161701, 0.002755446050605894 });
    add("full volume, single precision", { 60, 254 },
        { 0.31361966757211107, 0.014691689285769612 });
    add("volume 0", { 69, 0 }, { 0.012797014390673841, -0.00012721019912402673 });
}

void SourcesTest::sawNoteDrivesTheDetunedVoices()
{
    const auto [row, golden] = fetch<Row, Samples>("row", "golden");
    SawProcessor saw(44100);
    deliver(saw, row, 1);
    COMPARE_FINGERPRINT(block(saw, 1024, 9.0), golden);
}

// After 512 samples of A-4: a note-off fades out, an empty note keeps playing, a repeated
// serial is ignored. Recorded from the same model as above.
void SourcesTest::sawSecondRow_data()
{
    const DataTable<Row, quint32, Samples, bool> add("row", "serial", "golden", "silent");
    const Samples playing { 0.20004685290593938, -0.0009641561702806794 };
    add("note-off fades out", { 254, 255 }, 2u, { 0.044704690405061816, -0.012395835831468603 },
        true);
    add("empty note keeps playing", { 255, 255 }, 2u, playing, false);
    add("repeated serial ignored", { 254, 255 }, 1u, playing, false);
}

void SourcesTest::sawSecondRow()
{
    const auto [row, serial, golden, silent]
        = fetch<Row, quint32, Samples, bool>("row", "serial", "golden", "silent");
    SawProcessor saw(44100);
    deliver(saw, { 69, 255 }, 1);
    block(saw, 512);
    deliver(saw, row, serial);
    const Samples out = block(saw, 512);
    COMPARE_FINGERPRINT(out, golden);
    QCOMPARE(out.last() == 0.0, silent);
}

// The gate opens on the first row and a note-off on a second row closes it; both ramps run
// at 200 / 44100 per sample over the xorshift generator's signed output (13, 17, 5 from
// 123456789, over 2^31). Fingerprints of each 512-sample block, recorded from that model.
void SourcesTest::noiseFollowsGateAndVolume_data()
{
    const DataTable<Row, quint32, Samples, Samples> add("row", "closeSerial", "opened", "closed");
    const Samples half { 0.071517773591298933, -0.020572422140348066 };
    const Samples halfClosing { 0.0070085142115989827, 7.9342603851473192e-05 };
    add("any note, the start volume 0.5", { 60 }, 2u, half, halfClosing);
    add("note 0, empty volume", { 0, 255 }, 2u, half, halfClosing);
    add("full scale", { 60, 254 }, 2u, { 0.23899973978703826, -0.039771281177337622 },
        { 0.053927107182713367, -0.0015069302386706432 });
    add("volume 100", { 60, 100 }, 2u, { 0.045796637270844612, -0.01624826233466807 },
        { 0.0034663548488662235, 2.7459829677740775e-05 });
    add("a note-off stays closed", { 254, 254 }, 2u, { 0, 0 }, { 0, 0 });
    add("no note stays closed", { 255, 200 }, 2u, { 0, 0 }, { 0, 0 });
    add("closing on the same serial", { 60 }, 1u, half,
        { 0.079192890440449124, 0.008212366776946034 });
}

void SourcesTest::noiseFollowsGateAndVolume()
{
    const auto [row, closeSerial, opened, closed]
        = fetch<Row, quint32, Samples, Samples>("row", "closeSerial", "opened", "closed");
    NoiseProcessor noise(44100);
    deliver(noise, row, 1);
    COMPARE_FINGERPRINT(block(noise, 512, 9.0), opened);
    deliver(noise, { 254 }, closeSerial);
    const Samples out = block(noise, 512, 9.0);
    COMPARE_FINGERPRINT(out, closed);
    // A full unit of level is gone within 220.5 samples.
    if (closeSerial != 1)
        QVERIFY(std::all_of(out.begin() + 221, out.end(), [](double v) { return v == 0.0; }));
}

// Each voice plays the sample from its start, scaled by the volume over 255, and falls
// silent at its end; at most twenty play at once. Without data a trigger is silent.
void SourcesTest::sampleVoicesPlayFromTheStart_data()
{
    const DataTable<Row, int, int, float> add("row", "triggers", "voices", "gain");
    add("note alone", { 60 }, 1, 1, 1.0f);
    add("empty volume", { 60, 255 }, 1, 1, 1.0f);
    add("volume 0", { 60, 0 }, 1, 1, 0.0f);
    add("highest note, volume 254", { 253, 254 }, 1, 1, float(254.0 / 255.0));
    add("twenty voices", { 0, 128 }, 20, 20, float(128.0 / 255.0));
    add("a 21st trigger finds no voice", { 60 }, 21, 20, 1.0f);
    add("no note", { 255, 100 }, 1, 0, 1.0f);
    add("empty row", {}, 1, 0, 1.0f);
}

void SourcesTest::sampleVoicesPlayFromTheStart()
{
    const auto [row, triggers, voices, gain]
        = fetch<Row, int, int, float>("row", "triggers", "voices", "gain");
    QVector<float> data(300);
    for (int i = 0; i < data.size(); ++i)
        data[i] = float(i) / 300.0f - 0.5f;
    SampleProcessor sample(44100);
    deliver(sample, row, 0);
    QCOMPARE(block(sample, 64, 9.0), Samples(64, 0.0));
    sample.setSample({ {}, data });
    for (int t = 1; t < triggers; ++t)
        deliver(sample, row, quint32(t));
    Samples expected(512, 0.0);
    for (int i = 0; i < data.size(); ++i)
        expected[i] = voices * double(data[i] * gain);
    COMPARE_BLOCKS(block(sample, 512, 9.0), expected, 1e-6);
}

// Voices that ran past the end stay silent and keep their slot; a note-off frees them all
// and stops any playing, and the next trigger starts from the top.
void SourcesTest::sampleVoicesStayTakenUntilANoteOff_data()
{
    const DataTable<int, double> add("earlierTriggers", "laterLevel");
    add("19 taken, a free voice remains", 19, 0.5);
    add("all 20 taken", 20, 0.0);
}

void SourcesTest::sampleVoicesStayTakenUntilANoteOff()
{
    const auto [earlierTriggers, laterLevel] = fetch<int, double>("earlierTriggers", "laterLevel");
    SampleProcessor sample(44100);
    sample.setSample({ {}, QVector<float>(100, 0.5f) });
    for (int t = 0; t < earlierTriggers; ++t)
        deliver(sample, { 60 }, quint32(t));
    Samples expected(256, 0.0);
    std::fill(expected.begin(), expected.begin() + 100, earlierTriggers * 0.5);
    COMPARE_BLOCKS(block(sample, 256), expected, 0.0);
    deliver(sample, { 60 }, 100);
    expected.fill(0.0);
    std::fill(expected.begin(), expected.begin() + 100, laterLevel);
    COMPARE_BLOCKS(block(sample, 256, 9.0), expected, 0.0);
    for (quint32 serial : { 101u, 102u })
        deliver(sample, { 60 }, serial);
    block(sample, 50);
    deliver(sample, { 254 }, 103);
    COMPARE_BLOCKS(block(sample, 64, 9.0), Samples(64, 0.0), 0.0);
    deliver(sample, { 60 }, 104);
    std::fill(expected.begin(), expected.begin() + 100, 0.5);
    COMPARE_BLOCKS(block(sample, 256), expected, 0.0);
}

// The Fourier series of each shape swinging between -1 and 1, by shape lane value.
double shapeHarmonic(int shape, int h)
{
    const double odd = h % 2, pi = std::numbers::pi;
    return std::array { h == 1 ? 1.0 : 0.0, odd * 8 / (pi * pi * h * h), 2 / (pi * h),
        odd * 4 / (pi * h) }[shape];
}

// Blackman-Harris, scaled so that amplitudeAt gives a sinusoid's amplitude; whatever lies more
// than four bins away leaks in below -92 dB.
Samples windowed(Samples x)
{
    for (qsizetype n = 0; n < x.size(); ++n) {
        const double a = 2.0 * std::numbers::pi * n / (x.size() - 1);
        x[n] *= (0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a)
                    - 0.01168 * std::cos(3 * a))
            / (0.35875 * x.size() / 2.0);
    }
    return x;
}

// Goertzel's recurrence, at any frequency.
double amplitudeAt(const Samples& windowed, double hz)
{
    const double c = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kRate);
    double s1 = 0.0, s2 = 0.0;
    for (const double x : windowed)
        s2 = std::exchange(s1, x + c * s1 - s2);
    return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2));
}

// Every shape at low, middle, high and top notes, rendered in blocks: the harmonics of its
// series scaled by the volume, in full up to 14 kHz (less linear interpolation's droop, at most
// 1.3%) and never above it; nothing else within 70 dB of the fundamental, where a naive wave's
// aliases sit at -20 to -40 dB.
void SourcesTest::oscSpectrumHasOnlyTheShapesHarmonics_data()
{
    const DataTable<int, int, int> add("shape", "note", "volume");
    const char* names[] = { "sine", "triangle", "saw", "square" };
    const std::pair<int, int> notes[] = { { 33, 254 }, { 69, 128 }, { 108, 200 }, { 127, 64 } };
    for (int shape = 0; shape < 4; ++shape)
        for (const auto& [note, volume] : notes)
            add(qPrintable(QString("%1, note %2").arg(names[shape]).arg(note)), shape, note,
                volume);
}

void SourcesTest::oscSpectrumHasOnlyTheShapesHarmonics()
{
    const auto [shape, note, volume] = fetch<int, int, int>("shape", "note", "volume");
    constexpr int kPoints = 8192;
    OscProcessor osc(kRate);
    deliver(osc, { quint32(shape), quint32(note), quint32(volume) });
    const Samples spectrum = windowed(render(osc, Samples(2048 + kPoints, 0.0)).mid(2048));
    const double f0 = 440.0 * std::exp2((note - 69) / 12.0);
    const auto expected = [&](int h) { return volume / 255.0 * shapeHarmonic(shape, h); };
    const double noiseFloor = expected(1) * 1e-6; // -120 dB
    for (int h = 1; h * f0 < kRate / 2.0; ++h) {
        const double e = expected(h), measured = amplitudeAt(spectrum, h * f0);
        const bool inFull = h * f0 > 14000.0 || measured >= 0.98 * e - noiseFloor;
        QVERIFY2(e == 0.0 || (measured <= 1.01 * e + noiseFloor && inFull),
            qPrintable(QString("%1: %2").arg(h).arg(measured)));
    }
    const double binHz = double(kRate) / kPoints;
    for (double hz = 0.0; hz <= kRate / 2.0; hz += binHz) {
        const int h = int(std::lround(hz / f0));
        const bool onHarmonic = h > 0 && expected(h) != 0.0 && std::abs(hz - h * f0) < 5 * binHz;
        QVERIFY2(onHarmonic || amplitudeAt(spectrum, hz) < expected(1) * 3.2e-4, // -70 dB
            qPrintable(QString("%1 Hz").arg(hz)));
    }
}

// A fresh node is silent; a note rises from silence within the level ramp however steep the
// shape, and a note-off ramps it back to exact silence. No shape peaks above the square's lone
// fundamental, 4 / pi. A note beyond the Nyquist frequency stays silent.
void SourcesTest::oscNotesStartAndStopWithoutAClick_data()
{
    const DataTable<int, int, bool> add("shape", "note", "sounds");
    add("sine", 0, 108, true);
    add("triangle", 1, 108, true);
    add("saw", 2, 96, true);
    add("square", 3, 100, true);
    add("square, low", 3, 24, true);
    add("beyond hearing", 2, 253, false);
}

void SourcesTest::oscNotesStartAndStopWithoutAClick()
{
    const auto [shape, note, sounds] = fetch<int, int, bool>("shape", "note", "sounds");
    constexpr double kPeak = 4.0 / std::numbers::pi * (1.0 + 1e-9);
    OscProcessor osc(kRate);
    QCOMPARE(block(osc, 64, 9.0), Samples(64, 0.0));
    deliver(osc, { quint32(shape), quint32(note), 254 }, 1);
    const Samples on = block(osc, 400, 9.0);
    deliver(osc, { 4, 254 }, 2);
    const Samples off = block(osc, 400, 9.0);
    for (int n = 0; n < 400; ++n) {
        const double rise = (n + 1) * kRampStep, fall = std::max(0.0, 254.0 / 255.0 - rise);
        QVERIFY2(std::abs(on[n]) <= rise * kPeak && std::abs(off[n]) <= fall * kPeak,
            qPrintable(QString::number(n)));
    }
    QCOMPARE(peak(on, 300) > 0.5, sounds);
    QCOMPARE(peak(off, 220), 0.0);
}

QTEST_GUILESS_MAIN(SourcesTest)
#include "tst_sources.moc"
