#include "processors/ProcessorFactory.h"
#include "processors/presets/FactoryPresets.h"
#include "processors/presets/PresetFile.h"
#include "processors/presets/PresetLibrary.h"
#include "processors/presets/PresetValues.h"

#include "InstrumentTesting.h"

#include <QStandardPaths>
#include <QTemporaryDir>

using namespace instrumentTesting;

namespace {

const QString kTB303 = QStringLiteral("TB-303");
constexpr int kBurst = 2205;

ProcessorPointer make(const QString& typeID)
{
    return ProcessorFactory::instance().create(typeID);
}

QByteArray single(const QByteArray& values, const QByteArray& type = "TB-303")
{
    return R"({"format": "zarn-preset", "version": 1, "type": ")" + type
        + R"(", "name": "Test", "values": {)" + values + "}}";
}

// A bass note, a hit or, for an effect, the tail after a burst of noise.
Samples audition(Processor& processor)
{
    const int frames = kRate / 2;
    if (processor.character().takesAudioInput)
        return render(processor, noise(kBurst) + Samples(frames - kBurst, 0.0)).mid(kBurst);
    processor.setNodeParameter(0, 45);
    return render(processor, frames);
}

double energy(const Samples& a, const Samples& b)
{
    double sum = 0.0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += (a[i] - b.value(i)) * (a[i] - b.value(i));
    return sum;
}

} // namespace

class PresetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void filesRoundTrip();
    void applyingSetsEveryParameter();
    void refusals_data();
    void refusals();
    void readingStopsAtTheSizeCap();
    void libraryKeepsEachTypeInItsOwnFile();
    void factoryPresetsFitAndSoundDifferent_data();
    void factoryPresetsFitAndSoundDifferent();
};

void PresetsTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
}

// What is written reads back the same; a library is refused whole, naming the preset
// that does not fit.
void PresetsTest::filesRoundTrip()
{
    const auto schema = make(kTB303)->schema();
    const Preset acid { "Acid \"303\" ä", kTB303, { { "Cutoff", 0 }, { "EnvMod", 255 } } };
    const Preset empty { "Empty", kTB303, {} };
    const Outcome<Preset> one = presetFile::decode(presetFile::encode(acid), kTB303, *schema);
    QCOMPARE(one.value, acid);
    const auto both = presetFile::decodeLibrary(
        presetFile::encodeLibrary(kTB303, { acid, empty }), kTB303, *schema);
    QCOMPARE(both.value, QList<Preset>({ acid, empty }));
    const Preset loud { "Loud", kTB303, { { "Volume", 300 } } };
    const QByteArray mixed = presetFile::encodeLibrary(kTB303, { acid, loud });
    QCOMPARE(presetFile::decodeLibrary(mixed, kTB303, *schema).error,
        R"(preset 2: "Volume" is 300, outside 0 to 255)");
}

// Parameters the preset lacks go back to their defaults, and a note is never played from
// it; capturing gives back exactly what was set.
void PresetsTest::applyingSetsEveryParameter()
{
    const ProcessorPointer bass = make(kTB303);
    for (int i = 0; i < 8; ++i)
        bass->setNodeParameter(i, 1);
    presets::apply({ "Dark", kTB303, { { "Cutoff", 10 }, { "Note", 60 } } }, *bass);
    QCOMPARE(bass->nodeValues, QList<quint32>({ 255, 128, 0, 0, 0, 10, 46, 255 }));
    const QMap<QString, quint32> kept { { "Volume", 128 }, { "Waveform", 0 }, { "Cutoff", 10 },
        { "Resonance", 46 }, { "EnvMod", 255 } };
    QCOMPARE(presets::capture(*bass, "Again").values, kept);
}

void PresetsTest::refusals_data()
{
    const DataTable<QByteArray, QString> add("bytes", "reason");
    add("not JSON", single("").chopped(1), "it is not JSON");
    add("foreign JSON", R"({"name": "x", "values": {}})", "it is not a Zarn preset file");
    add("a library", presetFile::encodeLibrary(kTB303, {}),
        "it is a preset library, not a single preset");
    add("newer version", single("").replace("\"version\": 1", "\"version\": 2"), "version 2;");
    add("wrong type ID", single("", "Drum"), R"(for "Drum", not for "TB-303")");
    add("unknown parameter", single(R"("Bogus": 1)"), R"("Bogus" is not a preset parameter)");
    add("played parameter", single(R"("Note": 60)"), R"("Note" is not a preset parameter)");
    add("out of range", single(R"("Cutoff": 256)"), R"("Cutoff" is 256, outside 0 to 255)");
    add("fraction", single(R"("Cutoff": 1.5)"), R"("Cutoff" is not a whole number)");
    add("long name", single("").replace("Test", QByteArray(81, 'x')), "longer than 80");
}

void PresetsTest::refusals()
{
    const auto [bytes, reason] = fetch<QByteArray, QString>("bytes", "reason");
    const auto schema = make(kTB303)->schema();
    const QString error = presetFile::decode(bytes, kTB303, *schema).error;
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void PresetsTest::readingStopsAtTheSizeCap()
{
    const QTemporaryDir folder;
    const QString path = folder.filePath("big.zarnpreset");
    for (const qint64 size : { presetFile::kMaxBytes, presetFile::kMaxBytes + 1 }) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
        file.close();
        const Outcome<QByteArray> read = presetFile::read(path);
        QCOMPARE(read.value.size(), size > presetFile::kMaxBytes ? 0 : size);
        QCOMPARE(read.error.contains("larger than 1024 KiB"), size > presetFile::kMaxBytes);
    }
    QVERIFY(presetFile::read(folder.path()).error.contains("not a regular file"));
}

// A damaged library is reported, holds nothing and is not overwritten by the next save.
void PresetsTest::libraryKeepsEachTypeInItsOwnFile()
{
    const QString bells = QStringLiteral("Kagura Suzu");
    const Preset ring { "Ring", bells, { { "Bells", 3 } } };
    const Preset acid { "Acid", kTB303, { { "Cutoff", 70 } } };
    QVERIFY(PresetLibrary(bells, make(bells)->schema()).save({ ring }).isEmpty());
    const PresetLibrary reloaded(bells, make(bells)->schema());
    QCOMPARE(reloaded.presets(), QList<Preset>({ ring }));
    QVERIFY(reloaded.path().endsWith("/presets/Kagura%20Suzu.json"));

    const QByteArray cut = R"({"format": "zarn-preset-library", "presets": [)";
    QFile file(PresetLibrary::pathFor(kTB303));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(cut) == cut.size());
    file.close();
    PresetLibrary damaged(kTB303, make(kTB303)->schema());
    QVERIFY(damaged.loadError().contains("not JSON"));
    QVERIFY(damaged.presets().isEmpty());
    QVERIFY(!damaged.save({ acid }).isEmpty());
    QCOMPARE(QFileInfo(file).size(), cut.size());
}

void PresetsTest::factoryPresetsFitAndSoundDifferent_data()
{
    QTest::addColumn<QString>("type");
    for (const char* type : { "TB-303", "Drum", "FancyReverb" })
        QTest::newRow(type) << QString(type);
}

// Each preset, applied over the defaults, changes the sound by more than a hundredth of
// its energy and stays within full scale.
void PresetsTest::factoryPresetsFitAndSoundDifferent()
{
    QFETCH(QString, type);
    const QList<Preset> presets = factoryPresets(type);
    QVERIFY(presets.size() >= 3);
    const ProcessorPointer plain = make(type);
    presets::apply({}, *plain);
    const Samples reference = audition(*plain);
    for (const Preset& preset : presets) {
        const QString problem = presets::misfit(preset, type, *plain->schema());
        QVERIFY2(problem.isEmpty(), qPrintable(preset.name + ": " + problem));
        const ProcessorPointer shaped = make(type);
        presets::apply(preset, *shaped);
        const Samples heard = audition(*shaped);
        QVERIFY2(energy(heard, reference) > 0.01 * energy(reference, {}), qPrintable(preset.name));
        QVERIFY(peak(heard) <= 1.0);
    }
}

QTEST_GUILESS_MAIN(PresetsTest)
#include "tst_presets.moc"
