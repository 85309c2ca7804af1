#include "processors/tb303/TB303Processor.h"

#include "InstrumentTesting.h"

#include <random>

using namespace instrumentTesting;

namespace {

constexpr int kBlock = 441; // 10 ms
constexpr quint32 kEmpty = 255;
constexpr quint32 kNoSwitch = 2;

// Lanes: Note, Volume, Accent, Slide, Waveform, Cutoff, Resonance, EnvMod.
Row noteRow(quint32 note, quint32 accent = kNoSwitch, quint32 slide = kNoSwitch)
{
    return { note, kEmpty, accent, slide, kNoSwitch, kEmpty, kEmpty, kEmpty };
}

Row settingsRow(quint32 waveform, quint32 cutoff, quint32 resonance, quint32 envMod)
{
    return { kEmpty, kEmpty, kNoSwitch, kNoSwitch, waveform, cutoff, resonance, envMod };
}

// The widest cutoff and the lowest Q: the filter stays far above the fundamental, so its
// delay barely moves and each period keeps one upward zero crossing.
const Row kOpenFilter = settingsRow(kNoSwitch, 254, 0, kEmpty);

const auto frequencyOf = [](double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); };
const auto at = [](double seconds) { return int(seconds * kRate); };

// Feeds rows with fresh serials and collects what the voice renders in 10 ms blocks.
struct Player {
    explicit Player(const Row& settings = {})
    {
        if (!settings.isEmpty())
            apply(settings);
    }
    void apply(const Row& row) { deliver(processor, row, ++serial); }
    void play(int blocks)
    {
        for (int b = 0; b < blocks; ++b)
            out += render(processor, kBlock);
    }
    void playSeconds(double seconds) { play(int(std::ceil(seconds * kRate / kBlock))); }
    double peakIn(double from, double to) const { return peak(out, at(from), at(to)); }
    TB303Processor processor { int(kRate) };
    Samples out;
    quint32 serial = 0;
};

// The frequency from the upward zero crossings between two sample positions, each
// interpolated between samples.
double measuredFrequency(const Samples& out, int from, int to, QList<double>* times = nullptr)
{
    QList<double> crossings;
    for (int i = std::max(1, from); i < std::min(to, int(out.size())); ++i)
        if (out[i - 1] < 0.0 && out[i] >= 0.0)
            crossings.append(i - 1 + out[i - 1] / (out[i - 1] - out[i]));
    if (times)
        *times = crossings;
    return (crossings.size() - 1) * kRate / (crossings.last() - crossings.first());
}

} // namespace

class Tb303Test : public QObject {
    Q_OBJECT

private slots:
    void silentWithoutANote_data();
    void silentWithoutANote();
    void noteSoundsAtItsPitch_data();
    void noteSoundsAtItsPitch();
    void envelopeRisesThenDecays_data();
    void envelopeRisesThenDecays();
    void slideGlidesSlowly_data();
    void slideGlidesSlowly();
    void lanesScaleTheFilterSettings_data();
    void lanesScaleTheFilterSettings();
    void absurdNotesStayFiniteAndPrompt_data();
    void absurdNotesStayFiniteAndPrompt();
    void fastVoiceFollowsTheReference_data();
    void fastVoiceFollowsTheReference();
    void renderingInChunksGivesEveryTick_data();
    void renderingInChunksGivesEveryTick();
};

void Tb303Test::silentWithoutANote_data()
{
    const DataTable<QList<Row>> add("rows");
    add("no rows", {});
    add("settings alone", { settingsRow(1, 200, 200, 200) });
    add("empty note, accent and slide", { noteRow(kEmpty, 1, 1) });
    add("empty row", { Row {} });
    add("a note no block took is dropped by the next row", { noteRow(60), noteRow(kEmpty) });
}

void Tb303Test::silentWithoutANote()
{
    QFETCH(QList<Row>, rows);
    Player player;
    for (const Row& row : rows)
        player.apply(row);
    player.playSeconds(0.2);
    QCOMPARE(peak(player.out), 0.0);
}

void Tb303Test::noteSoundsAtItsPitch_data()
{
    const DataTable<quint32, quint32> add("note", "waveform");
    add("saw, low", 45u, 0u);
    add("saw, high", 76u, 0u);
    add("pulse, low", 57u, 1u);
    add("pulse, high", 76u, 1u);
}

void Tb303Test::noteSoundsAtItsPitch()
{
    const auto [note, waveform] = fetch<quint32, quint32>("note", "waveform");
    Player player(kOpenFilter);
    player.apply(settingsRow(waveform, kEmpty, kEmpty, kEmpty));
    player.apply(noteRow(note));
    player.playSeconds(0.3);
    const double measured = measuredFrequency(player.out, at(0.015), at(0.15));
    QVERIFY2(
        std::abs(measured / frequencyOf(note) - 1.0) < 3e-3, qPrintable(QString::number(measured)));
}

// Attack from silence over 10 ms, then a linear decay to nothing: 0.3 s, 0.18 s accented;
// a note-off restarts the decay from full level as a 50 ms fade.
void Tb303Test::envelopeRisesThenDecays_data()
{
    const DataTable<quint32, double, bool> add("accent", "decay", "noteOff");
    add("plain", 0u, 0.3, false);
    add("accented", 1u, 0.18, false);
    add("plain with a note-off at 0.1 s", 0u, 0.15, true);
}

void Tb303Test::envelopeRisesThenDecays()
{
    const auto [accent, decay, noteOff]
        = fetch<quint32, double, bool>("accent", "decay", "noteOff");
    // The lowest Q, so the filter's tail after the decay is short.
    Player player(settingsRow(0, 96, 0, kEmpty));
    player.apply(noteRow(57, accent));
    player.play(10);
    if (noteOff)
        player.apply(noteRow(254));
    player.playSeconds(0.9);
    QCOMPARE(player.out[0], 0.0);
    QVERIFY(player.peakIn(0.0, 0.002) < player.peakIn(0.01, 0.03));
    QVERIFY(player.peakIn(decay - 0.04, decay - 0.01) > 0.01);
    QVERIFY(player.peakIn(decay + 0.04, 1.0) < 1e-3);
    if (noteOff) // The fade begins louder than the note was.
        QVERIFY(player.peakIn(0.1, 0.11) > player.peakIn(0.09, 0.1));
    else
        QVERIFY(player.peakIn(decay - 0.04, decay - 0.01) < player.peakIn(0.01, 0.04));
    // Without input the filter's state is flushed to exact zero.
    QCOMPARE(player.peakIn(0.9, 1.0), 0.0);
}

// Two notes an octave apart; the pitch moves by a 1 / (rate * glide) share of the remaining
// distance each sample.
void Tb303Test::slideGlidesSlowly_data()
{
    const DataTable<Row, Row, double> add("between", "second", "glide");
    add("no slide", {}, noteRow(69, 0, 0), 0.01);
    add("slide lane empty", {}, noteRow(69), 0.01);
    add("slide", {}, noteRow(69, 0, 1), 0.08);
    add("slide set by a row without a note", noteRow(kEmpty, kNoSwitch, 1), noteRow(69), 0.08);
}

void Tb303Test::slideGlidesSlowly()
{
    const auto [between, second, glide] = fetch<Row, Row, double>("between", "second", "glide");
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
    QList<double> crossings;
    const double measured
        = measuredFrequency(player.out, start + at(0.02), start + at(0.045), &crossings);
    const double ratio = 1.0 - 1.0 / (kRate * glide);
    double cycles = 0.0;
    for (int n = int(std::ceil(crossings.first())); n < crossings.last(); ++n)
        cycles += frequencyOf(69.0 - 12.0 * std::pow(ratio, n - start + 1)) / kRate;
    const double expected = cycles * kRate / (crossings.last() - crossings.first());
    QVERIFY2(std::abs(measured / expected - 1.0) < 5e-3,
        qPrintable(QString("%1 Hz, expected %2 Hz").arg(measured).arg(expected)));
}

// The filter takes the resonance as its Q once the smoother has settled on it.
void Tb303Test::lanesScaleTheFilterSettings_data()
{
    const DataTable<Row, double, double, double> add("row", "cutoff", "resonance", "envMod");
    add("all empty", settingsRow(kNoSwitch, 255, 255, 255), 8.0, 4.0, 1.0);
    add("empty by the low byte", settingsRow(kNoSwitch, 0x1FF, 0x2FF, 0x3FF), 8.0, 4.0, 1.0);
    add("lowest", settingsRow(kNoSwitch, 0, 0, 0), 0.5, 0.5, 0.0);
    add("highest", settingsRow(kNoSwitch, 254, 254, 254), 254 / 255. * 15.5 + 0.5,
        254 / 255. * 19.5 + 0.5, 254 / 255.);
}

void Tb303Test::lanesScaleTheFilterSettings()
{
    const auto [row, cutoff, resonance, envMod]
        = fetch<Row, double, double, double>("row", "cutoff", "resonance", "envMod");
    Player player(row);
    QCOMPARE(player.processor.voice().cutoff, cutoff);
    QCOMPARE(player.processor.voice().resonance, resonance);
    QCOMPARE(player.processor.voice().envMod, envMod);
    player.apply(noteRow(60));
    player.play(1);
    QCOMPARE(player.processor.voice().filter.q, resonance);
}

// Far past the editor's range the oscillator steps many cycles per sample; a block must
// still render promptly, and stay finite while the frequency does. The filter's corner
// is held below Nyquist.
void Tb303Test::absurdNotesStayFiniteAndPrompt_data()
{
    const DataTable<quint32, bool> add("note", "finite");
    add("note 120", 120u, true);
    add("note 12000", 12000u, true);
    add("infinite frequency", 0xFFFFFFFDu, false);
}

// Accented, filter wide open.
void Tb303Test::absurdNotesStayFiniteAndPrompt()
{
    const auto [note, finite] = fetch<quint32, bool>("note", "finite");
    Player player(settingsRow(0, 254, 254, kEmpty));
    player.apply(noteRow(note, 1));
    QElapsedTimer timer;
    timer.start();
    player.play(2);
    if (finite)
        QCOMPARE(player.processor.voice().filter.frequency, 0.4999);
    player.playSeconds(0.5);
    QVERIFY(timer.elapsed() < 5000);
    for (const double x : player.out)
        QVERIFY(!finite || (std::isfinite(x) && std::abs(x) <= 1.0));
}

// The voice's fast tanh, tangent and glide power against the plain std:: calls, over long
// runs of random rows: the filter and the oscillator phase carry any error forward.
void Tb303Test::fastVoiceFollowsTheReference_data()
{
    const DataTable<quint32, int, quint32> add("seed", "rowEvery", "resonance");
    add("a row every block", 1u, 1, kEmpty);
    add("sparse rows, long glides", 2u, 5, kEmpty);
    add("highest resonance", 3u, 2, 254u);
    add("lowest resonance", 4u, 1, 0u);
}

void Tb303Test::fastVoiceFollowsTheReference()
{
    const auto [seed, rowEvery, resonance]
        = fetch<quint32, int, quint32>("seed", "rowEvery", "resonance");
    std::mt19937 random(seed);
    const auto pick = [&random](quint32 low, quint32 high) {
        return std::uniform_int_distribution<quint32>(low, high)(random);
    };
    TB303Processor fast(kRate);
    BasicTB303Processor<true> reference(kRate);
    const auto byteOrEmpty = [&](quint32 fixed) {
        return fixed != kEmpty ? fixed : pick(0, 4) ? pick(0, 254) : kEmpty;
    };
    double worst = 0.0;
    for (int block = 0; block < 240; ++block) {
        if (block % rowEvery == 0) {
            const quint32 note = pick(0, 5) ? pick(24, 100) : pick(0, 1) ? 254u : kEmpty;
            const Row row { note, kEmpty, pick(0, 2), pick(0, 2), pick(0, 2), byteOrEmpty(kEmpty),
                byteOrEmpty(resonance), byteOrEmpty(kEmpty) };
            deliver(fast, row, quint32(block + 1));
            deliver(reference, row, quint32(block + 1));
        }
        const Samples a = render(fast, 1024);
        const Samples b = render(reference, 1024);
        for (int i = 0; i < a.size(); ++i)
            worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    QVERIFY2(worst < 1e-6, qPrintable(QString::number(worst)));
}

// The voice's chunked render (controls, then designs, then filter) against one tick at a
// time over random notes, slides, waveforms and settings in runs of random length: every
// sample must be the same.
void Tb303Test::renderingInChunksGivesEveryTick_data()
{
    const DataTable<quint32, bool> add("seed", "reference");
    add("fast voice", 11u, false);
    add("reference voice", 12u, true);
}

template <bool kReference> std::optional<qsizetype> chunkedAgainstTicks(quint32 seed)
{
    std::mt19937 random(seed);
    const auto pick = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    Tb303<double, kReference> chunked(kRate);
    Tb303<double, kReference> ticked(kRate);
    qsizetype checked = 0;
    for (int run = 0; run < 400; ++run) {
        const double choice = pick(0.0, 1.0);
        const double note = std::round(pick(24.0, 100.0));
        for (auto* voice : { &chunked, &ticked }) {
            if (choice < 0.5)
                voice->noteOn(note, run % 3 == 0, run % 4 == 0);
            else if (choice < 0.6)
                voice->noteOff();
        }
        const double cutoff = pick(0.5, 20.0), resonance = pick(0.5, 20.0), mod = pick(0, 1);
        const int waveform = run % 5 == 0;
        const auto frames = qsizetype(pick(1.0, 3000.0));
        Samples expected(frames);
        Samples actual(frames);
        for (auto* voice : { &chunked, &ticked }) {
            if (run % 2 == 0)
                std::tie(voice->cutoff, voice->resonance, voice->envMod)
                    = std::tuple(cutoff, resonance, mod);
            voice->waveform = waveform;
        }
        for (double& x : expected)
            x = ticked.tick();
        chunked.render(actual.data(), frames);
        if (const auto at = firstDifference(actual, expected))
            return checked + *at;
        checked += frames;
    }
    return std::nullopt;
}

void Tb303Test::renderingInChunksGivesEveryTick()
{
    const auto [seed, reference] = fetch<quint32, bool>("seed", "reference");
    const auto at = reference ? chunkedAgainstTicks<true>(seed) : chunkedAgainstTicks<false>(seed);
    QVERIFY2(!at, qPrintable(QString("sample %1").arg(at.value_or(0))));
}

QTEST_GUILESS_MAIN(Tb303Test)
#include "tst_tb303.moc"
