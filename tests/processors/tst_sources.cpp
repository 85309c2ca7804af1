#include "core/AudioContext.h"
#include "processors/sources/NoiseProcessor.h"
#include "processors/sources/OscProcessor.h"
#include "processors/sources/SampleProcessor.h"
#include "processors/sources/SawProcessor.h"
#include "processors/sources/WaveRegistry.h"

#include "InstrumentTesting.h"

#include <algorithm>

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
    void oscAlternatesAtFullScale_data();
    void oscAlternatesAtFullScale();
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
    sample.setSampleData(data);
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
    sample.setSampleData(QVector<float>(100, 0.5f));
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

// No wave shape is registered, so the one voice alternates +1, -1, ... across blocks; rows do
// not reach the voices.
void SourcesTest::oscAlternatesAtFullScale_data()
{
    const DataTable<QList<int>> add("blocks");
    add("one block", { 11 });
    add("single samples", { 1, 1, 1, 1 });
}

void SourcesTest::oscAlternatesAtFullScale()
{
    QFETCH(QList<int>, blocks);
    QVERIFY(!WaveRegistry::instance().find("sin"));
    QTest::ignoreMessage(QtDebugMsg, "OSC NODE VOICE");
    OscProcessor osc(44100);
    deliver(osc, { 1, 60, 200 }, 1);
    int n = 0;
    for (int frames : blocks) {
        Samples expected(frames);
        for (double& v : expected)
            v = n++ % 2 == 0 ? 1.0 : -1.0;
        COMPARE_BLOCKS(block(osc, frames, 9.0), expected, 0.0);
    }
}

QTEST_GUILESS_MAIN(SourcesTest)
#include "tst_sources.moc"
