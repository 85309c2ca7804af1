#include "processors/tb303/TB303Processor.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using Row = QList<quint32>;

constexpr double kRate = 44100.0;
constexpr int kBlock = 441; // 10 ms
constexpr quint32 kEmpty = 255;
constexpr quint32 kNoSwitch = 2;
constexpr quint32 kNoteOff = 254;

// Lanes: Note, Volume, Accent, Slide, Waveform, Cutoff, Resonance, EnvMod.
Row noteRow(quint32 note, quint32 accent = kNoSwitch, quint32 slide = kNoSwitch)
{
    return { note, kEmpty, accent, slide, kNoSwitch, kEmpty, kEmpty, kEmpty };
}

Row settingsRow(quint32 waveform, quint32 cutoff, quint32 resonance, quint32 envMod)
{
    return { kEmpty, kEmpty, kNoSwitch, kNoSwitch, waveform, cutoff, resonance, envMod };
}

// No envelope depth and the lowest Q: a fixed gentle low-pass at 20 Hz, which leaves the
// harmonics in a known ratio and the output far from the saturator's bend.
const Row kSteadyFilter = settingsRow(kNoSwitch, 0, 0, 0);
// The widest cutoff and the lowest Q: the filter stays far above the fundamental, so its
// delay barely moves and each period keeps one upward zero crossing.
const Row kOpenFilter = settingsRow(kNoSwitch, 254, 0, kEmpty);

double frequencyOf(double note)
{
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Feeds rows with fresh serials and collects what the voice renders.
class Player {
public:
    explicit Player(const Row& settings = {})
    {
        if (!settings.isEmpty())
            apply(settings);
    }

    void apply(const Row& row) { apply(row, ++m_serial); }
    void apply(const Row& row, quint32 serial)
    {
        processor.applyRow(row.constData(), int(row.size()), serial);
    }
    void play(int blocks)
    {
        for (int b = 0; b < blocks; ++b) {
            QList<double> block(kBlock, 0.0);
            AudioContext context;
            context.frames = kBlock;
            context.data = block.data();
            processor.process(context);
            out.append(block);
        }
    }
    void playSeconds(double seconds) { play(int(std::ceil(seconds * kRate / kBlock))); }

    TB303Processor processor { int(kRate) };
    QList<double> out;

private:
    quint32 m_serial = 0;
};

int at(double seconds)
{
    return int(seconds * kRate);
}

double peak(const QList<double>& out, double from, double to)
{
    double p = 0.0;
    for (int i = at(from); i < std::min(at(to), int(out.size())); ++i)
        p = std::max(p, std::abs(out[i]));
    return p;
}

// Upward zero crossings between two times, in samples, interpolated between samples.
QList<double> upwardCrossings(const QList<double>& out, double from, double to)
{
    QList<double> times;
    for (int i = std::max(1, at(from)); i < std::min(at(to), int(out.size())); ++i)
        if (out[i - 1] < 0.0 && out[i] >= 0.0)
            times.append(i - 1 + out[i - 1] / (out[i - 1] - out[i]));
    return times;
}

double measuredFrequency(const QList<double>& crossings)
{
    if (crossings.size() < 2)
        return 0.0;
    return (crossings.size() - 1) * kRate / (crossings.last() - crossings.first());
}

// Amplitude of one frequency in a Hann-windowed stretch of the output.
double amplitudeAt(const QList<double>& out, double hz, double from, double to)
{
    const int first = at(from);
    const int count = at(to) - first;
    std::complex<double> sum;
    double weight = 0.0;
    for (int n = 0; n < count; ++n) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / count);
        sum += w * out[first + n] * std::polar(1.0, -2.0 * std::numbers::pi * hz * n / kRate);
        weight += w;
    }
    return 2.0 * std::abs(sum) / weight;
}

// The level before the tanh stage, which shows loudness without the saturation.
double drive(double level)
{
    return std::atanh(std::min(level, 0.999999)) / 4.0;
}

} // namespace

class Tb303Test : public QObject {
    Q_OBJECT

private slots:
    void schemaMatchesTheTable_data();
    void schemaMatchesTheTable();
    void silentWithoutANote_data();
    void silentWithoutANote();
    void noteSoundsAtItsPitch_data();
    void noteSoundsAtItsPitch();
    void envelopeRisesThenDecays_data();
    void envelopeRisesThenDecays();
    void accentIsLouder();
    void noteOffFadesFromFullLevel();
    void slideGlidesSlowly_data();
    void slideGlidesSlowly();
    void waveformSwitchChangesTheSpectrum_data();
    void waveformSwitchChangesTheSpectrum();
    void repeatedSerialAppliesOnce_data();
    void repeatedSerialAppliesOnce();
    void lanesScaleTheFilterSettings_data();
    void lanesScaleTheFilterSettings();
    void highNoteIsClampedBelowNyquist();
    void absurdNoteValuesDoNotStall_data();
    void absurdNoteValuesDoNotStall();
};

void Tb303Test::schemaMatchesTheTable_data()
{
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QList<quint32>>("numbers"); // minimum maximum empty default flag

    const auto note = quint32(ValueType::MidiNote);
    const auto byte = quint32(ValueType::Byte);
    const auto toggle = quint32(ValueType::Switch);
    QTest::newRow("Note") << 0 << "Note"
                          << "Oscillator frequency" << note
                          << QList<quint32> { 0, 255, 255, 255, 0 };
    QTest::newRow("Volume") << 1 << "Volume"
                            << "Amplitude of signal" << byte
                            << QList<quint32> { 0, 255, 255, 128, 0 };
    QTest::newRow("Accent") << 2 << "Accent"
                            << "Emphasis on this note" << toggle
                            << QList<quint32> { 0, 1, 2, 0, 1 };
    QTest::newRow("Slide") << 3 << "Slide"
                           << "Slide this note" << toggle << QList<quint32> { 0, 1, 2, 0, 1 };
    QTest::newRow("Waveform") << 4 << "Waveform"
                              << "Saw or Pulse" << toggle << QList<quint32> { 0, 1, 2, 0, 0 };
    QTest::newRow("Cutoff") << 5 << "Cutoff"
                            << "Filter cutoff frequency" << byte
                            << QList<quint32> { 0, 255, 255, 96, 0 };
    QTest::newRow("Resonance") << 6 << "Resonance"
                               << "Filter resonance (Q)" << byte
                               << QList<quint32> { 0, 255, 255, 46, 0 };
    QTest::newRow("EnvMod") << 7 << "EnvMod"
                            << "Filter envelope modulation" << byte
                            << QList<quint32> { 0, 255, 255, 255, 0 };
}

void Tb303Test::schemaMatchesTheTable()
{
    QFETCH(int, lane);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, type);
    QFETCH(QList<quint32>, numbers);

    const auto schema = TB303Processor(44100).schema();
    QCOMPARE(schema->nodeParameters.size(), 8);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto p = schema->nodeParameters.at(lane);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(p->type, type);
    QCOMPARE(
        (QList<quint32> { p->minimum, p->maximum, p->empty, p->defaultValue, p->flag }), numbers);
}

void Tb303Test::silentWithoutANote_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::newRow("fresh") << QList<Row> {};
    QTest::newRow("settings only") << QList<Row> { settingsRow(1, 200, 200, 200) };
    QTest::newRow("empty note with slide") << QList<Row> { noteRow(kEmpty, 1, 1) };
    QTest::newRow("lanes missing") << QList<Row> { Row {} };
    // A note no block has taken yet is dropped by the next row.
    QTest::newRow("note overtaken") << QList<Row> { noteRow(60), noteRow(kEmpty) };
}

void Tb303Test::silentWithoutANote()
{
    QFETCH(QList<Row>, rows);
    Player player;
    for (const Row& row : rows)
        player.apply(row);
    player.playSeconds(0.2);
    QCOMPARE(player.out.count(0.0), player.out.size());
}

void Tb303Test::noteSoundsAtItsPitch_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<quint32>("waveform");
    QTest::newRow("A2 saw") << quint32(45) << quint32(0);
    QTest::newRow("A3 saw") << quint32(57) << quint32(0);
    QTest::newRow("A4 saw") << quint32(69) << quint32(0);
    QTest::newRow("E5 saw") << quint32(76) << quint32(0);
    QTest::newRow("A3 pulse") << quint32(57) << quint32(1);
    QTest::newRow("E5 pulse") << quint32(76) << quint32(1);
}

void Tb303Test::noteSoundsAtItsPitch()
{
    QFETCH(quint32, note);
    QFETCH(quint32, waveform);

    Player player(kOpenFilter);
    player.apply(settingsRow(waveform, kEmpty, kEmpty, kEmpty));
    player.apply(noteRow(note));
    player.playSeconds(0.3);
    const double expected = frequencyOf(note);
    const double measured = measuredFrequency(upwardCrossings(player.out, 0.015, 0.15));
    QVERIFY2(std::abs(measured / expected - 1.0) < 3e-3,
        qPrintable(QString("%1 Hz, expected %2 Hz").arg(measured).arg(expected)));
}

// Attack from silence over 10 ms, then a linear decay to nothing: 0.3 s, 0.18 s accented.
void Tb303Test::envelopeRisesThenDecays_data()
{
    QTest::addColumn<quint32>("accent");
    QTest::addColumn<double>("decay");
    QTest::newRow("plain") << quint32(0) << 0.3;
    QTest::newRow("accented") << quint32(1) << 0.18;
}

void Tb303Test::envelopeRisesThenDecays()
{
    QFETCH(quint32, accent);
    QFETCH(double, decay);

    // The lowest Q, so the filter's tail after the decay is short.
    Player player(settingsRow(0, 96, 0, kEmpty));
    player.apply(noteRow(57, accent));
    player.playSeconds(1.0);
    const QList<double>& out = player.out;
    QCOMPARE(out[0], 0.0);
    QVERIFY(peak(out, 0.0, 0.002) < peak(out, 0.01, 0.03));
    QVERIFY(peak(out, decay - 0.04, decay - 0.01) > 0.01);
    QVERIFY(peak(out, decay - 0.04, decay - 0.01) < peak(out, 0.01, 0.04));
    QVERIFY(peak(out, decay + 0.04, 1.0) < 1e-3);
    // Without input the filter's state is flushed to exact zero.
    QCOMPARE(peak(out, 0.9, 1.0), 0.0);
}

void Tb303Test::accentIsLouder()
{
    Player plain(settingsRow(0, 0, 0, kEmpty));
    plain.apply(noteRow(57, 0));
    plain.playSeconds(0.1);
    Player accented(settingsRow(0, 0, 0, kEmpty));
    accented.apply(noteRow(57, 1));
    accented.playSeconds(0.1);
    // 1.5 times the input, and a filter opened 1.5 times wider on top.
    const double ratio = drive(peak(accented.out, 0.0, 0.05)) / drive(peak(plain.out, 0.0, 0.05));
    QVERIFY2(ratio > 1.4, qPrintable(QString::number(ratio)));
}

void Tb303Test::noteOffFadesFromFullLevel()
{
    Player held(settingsRow(0, 0, 0, kEmpty));
    held.apply(noteRow(57));
    held.playSeconds(0.3);

    Player released(settingsRow(0, 0, 0, kEmpty));
    released.apply(noteRow(57));
    released.play(10);
    released.apply(noteRow(kNoteOff));
    released.playSeconds(0.2);

    // The fade restarts the decay at full level, so it begins louder than the note was.
    QVERIFY(peak(released.out, 0.1, 0.11) > peak(released.out, 0.09, 0.1));
    QVERIFY(peak(released.out, 0.1 + 0.05 + 0.04, 0.3) < 1e-3);
    QVERIFY(peak(held.out, 0.19, 0.25) > 0.01);
}

// Two notes an octave apart; the pitch moves by a 1 - 1/(rate * time) share of the
// remaining distance each sample.
void Tb303Test::slideGlidesSlowly_data()
{
    QTest::addColumn<Row>("between");
    QTest::addColumn<Row>("second");
    QTest::addColumn<double>("glide");
    QTest::newRow("no slide") << Row {} << noteRow(69, 0, 0) << 0.01;
    QTest::newRow("slide lane empty") << Row {} << noteRow(69) << 0.01;
    QTest::newRow("slide") << Row {} << noteRow(69, 0, 1) << 0.08;
    QTest::newRow("slide set by a row without a note")
        << noteRow(kEmpty, kNoSwitch, 1) << noteRow(69) << 0.08;
}

void Tb303Test::slideGlidesSlowly()
{
    QFETCH(Row, between);
    QFETCH(Row, second);
    QFETCH(double, glide);

    Player player(kOpenFilter);
    player.apply(noteRow(57, 0, 0));
    player.play(10);
    if (!between.isEmpty()) {
        player.apply(between);
        player.play(1);
    }
    const int start = int(player.out.size());
    player.apply(second);
    player.play(10);

    const QList<double> crossings
        = upwardCrossings(player.out, (start + at(0.02)) / kRate, (start + at(0.045)) / kRate);
    const double ratio = 1.0 - 1.0 / (kRate * glide);
    double cycles = 0.0;
    for (int n = int(std::ceil(crossings.first())); n < crossings.last(); ++n)
        cycles += frequencyOf(69.0 - 12.0 * std::pow(ratio, n - start + 1)) / kRate;
    const double expected = cycles * kRate / (crossings.last() - crossings.first());
    const double measured = measuredFrequency(crossings);
    QVERIFY2(std::abs(measured / expected - 1.0) < 5e-3,
        qPrintable(QString("%1 Hz, expected %2 Hz").arg(measured).arg(expected)));
}

// A square wave has no even harmonics; a saw has them all.
void Tb303Test::waveformSwitchChangesTheSpectrum_data()
{
    QTest::addColumn<QList<quint32>>("switches");
    QTest::addColumn<bool>("pulse");
    QTest::newRow("saw at first") << QList<quint32> {} << false;
    QTest::newRow("pulse") << QList<quint32> { 1 } << true;
    QTest::newRow("back to saw") << QList<quint32> { 1, 0 } << false;
    QTest::newRow("empty keeps pulse") << QList<quint32> { 1, kNoSwitch } << true;
    QTest::newRow("low byte counts") << QList<quint32> { 0x101 } << true;
}

void Tb303Test::waveformSwitchChangesTheSpectrum()
{
    QFETCH(QList<quint32>, switches);
    QFETCH(bool, pulse);

    Player player(kSteadyFilter);
    for (const quint32 waveform : switches)
        player.apply(settingsRow(waveform, kEmpty, kEmpty, kEmpty));
    player.apply(noteRow(57));
    player.playSeconds(0.2);
    const double f = frequencyOf(57);
    const double ratio
        = amplitudeAt(player.out, 2 * f, 0.05, 0.15) / amplitudeAt(player.out, f, 0.05, 0.15);
    // The saw's second harmonic is half its fundamental, and the 20 Hz low-pass takes
    // about another factor of four off it.
    if (pulse)
        QVERIFY2(ratio < 0.01, qPrintable(QString::number(ratio)));
    else
        QVERIFY2(ratio > 0.08, qPrintable(QString::number(ratio)));
}

void Tb303Test::repeatedSerialAppliesOnce_data()
{
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<bool>("sounds");
    QTest::newRow("same serial") << quint32(7) << false;
    QTest::newRow("new serial") << quint32(8) << true;
}

void Tb303Test::repeatedSerialAppliesOnce()
{
    QFETCH(quint32, serial);
    QFETCH(bool, sounds);

    Player player(kSteadyFilter);
    player.apply(noteRow(57), 7);
    player.playSeconds(1.0);
    QCOMPARE(peak(player.out, 0.9, 1.0), 0.0);
    player.apply(noteRow(57), serial);
    player.playSeconds(0.1);
    QCOMPARE(peak(player.out, 1.0, 1.1) > 0.01, sounds);
}

void Tb303Test::lanesScaleTheFilterSettings_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<double>("cutoff");
    QTest::addColumn<double>("resonance");
    QTest::addColumn<double>("envMod");

    QTest::newRow("all empty") << settingsRow(kNoSwitch, 255, 255, 255) << 8.0 << 4.0 << 1.0;
    QTest::newRow("empty by low byte")
        << settingsRow(kNoSwitch, 0x1FF, 0x2FF, 0x3FF) << 8.0 << 4.0 << 1.0;
    QTest::newRow("lowest") << settingsRow(kNoSwitch, 0, 0, 0) << 0.5 << 0.5 << 0.0;
    QTest::newRow("highest") << settingsRow(kNoSwitch, 254, 254, 254) << 254 / 255. * 15.5 + 0.5
                             << 254 / 255. * 19.5 + 0.5 << 254 / 255.;
    QTest::newRow("defaults") << settingsRow(kNoSwitch, 96, 46, 255) << 96 / 255. * 15.5 + 0.5
                              << 46 / 255. * 19.5 + 0.5 << 1.0;
}

void Tb303Test::lanesScaleTheFilterSettings()
{
    QFETCH(Row, row);
    QFETCH(double, cutoff);
    QFETCH(double, resonance);
    QFETCH(double, envMod);

    Player player(row);
    QCOMPARE(player.processor.voice().cutoff, cutoff);
    QCOMPARE(player.processor.voice().resonance, resonance);
    QCOMPARE(player.processor.voice().envMod, envMod);
    // The filter takes the resonance as its Q once the smoother has settled on it.
    player.apply(noteRow(60));
    player.play(1);
    QCOMPARE(player.processor.voice().filter.q, resonance);
}

void Tb303Test::highNoteIsClampedBelowNyquist()
{
    Player player(settingsRow(0, 254, 254, kEmpty));
    player.apply(noteRow(120, 1));
    player.play(2);
    QCOMPARE(player.processor.voice().filter.frequency, 0.4999);
    for (const double x : player.out)
        QVERIFY(std::isfinite(x) && std::abs(x) <= 1.0);
}

// Far past the editor's range the oscillator steps many cycles per sample; a block must
// still render promptly, and stay finite while the frequency does.
void Tb303Test::absurdNoteValuesDoNotStall_data()
{
    QTest::addColumn<quint32>("note");
    QTest::addColumn<bool>("finite");
    QTest::newRow("highest typed note") << quint32(253) << true;
    QTest::newRow("1000") << quint32(1000) << true;
    QTest::newRow("12000") << quint32(12000) << true;
    QTest::newRow("largest") << quint32(0xFFFFFFFD) << false;
}

void Tb303Test::absurdNoteValuesDoNotStall()
{
    QFETCH(quint32, note);
    QFETCH(bool, finite);

    Player player;
    player.apply(noteRow(note));
    QElapsedTimer timer;
    timer.start();
    player.playSeconds(0.5);
    QVERIFY(timer.elapsed() < 5000);
    if (finite)
        QVERIFY(std::all_of(player.out.begin(), player.out.end(),
            [](double x) { return std::isfinite(x) && std::abs(x) <= 1.0; }));
}

QTEST_GUILESS_MAIN(Tb303Test)
#include "tst_tb303.moc"
