#include "processors/ProcessorFactory.h"
#include "processors/presets/PresetFile.h"
#include "ui/parameters/PresetPanel.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kCutoff = 5;
const QString kTB303 = QStringLiteral("TB-303");

// A TB-303 and its panel, with every dialog answered by the test.
struct Bench {
    ProcessorPointer bass = ProcessorFactory::instance().create(kTB303);
    PresetPanel panel { [this] { return bass; } };
    QSignalSpy applied { &panel, &PresetPanel::applied };
    QListWidget* list = panel.findChild<QListWidget*>("listWidgetPresets");
    QPushButton* update = panel.findChild<QPushButton*>("pushButtonUpdate");
    QStringList messages;
    QString file;

    Bench()
    {
        panel.inform = [this](const QString& title, const QString& text) {
            messages << title + ": " + text;
        };
        panel.askName = [](const QString&) { return QStringLiteral("Mine"); };
        panel.askOpenFile = [this] { return file; };
    }
};

} // namespace

class PresetPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void addedPresetIsListedAndChoosingAppliesIt();
    void importAppliesOnlyAGoodFile_data();
    void importAppliesOnlyAGoodFile();
};

void PresetPanelTest::init()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
}

// Factory presets come first and are read-only; choosing any preset applies it at once.
void PresetPanelTest::addedPresetIsListedAndChoosingAppliesIt()
{
    Bench bench;
    const int factory = bench.list->count();
    bench.bass->setNodeParameter(kCutoff, 33);
    bench.panel.add();
    QCOMPARE(bench.list->item(factory)->text(), QStringLiteral("Mine"));
    QVERIFY(bench.update->isEnabled());
    bench.list->setCurrentRow(0);
    QVERIFY(!bench.update->isEnabled());
    QCOMPARE_NE(bench.bass->nodeValues.at(kCutoff), 33u);
    bench.list->setCurrentRow(factory);
    QCOMPARE(bench.bass->nodeValues.at(kCutoff), 33u);
    QCOMPARE(bench.applied.count(), 2);
    QCOMPARE(Bench().list->count(), factory + 1);
    // Playing from the start renews the processor; a preset reaches the new one.
    bench.bass = ProcessorFactory::instance().create(kTB303);
    bench.list->setCurrentRow(0);
    bench.list->setCurrentRow(factory);
    QCOMPARE(bench.bass->nodeValues.value(kCutoff), 33u);
}

void PresetPanelTest::importAppliesOnlyAGoodFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = presetFile::encode({ "Dark", kTB303, { { "Cutoff", 7 } } });
    QTest::newRow("good") << good << QString();
    QTest::newRow("damaged") << good.chopped(2) << "it is not JSON";
    QTest::newRow("another type") << presetFile::encode({ "Kick", "Drum", {} })
                                  << R"(it is a preset for "Drum", not for "TB-303")";
}

// A refused file is named in the message and changes neither the sound nor the library.
void PresetPanelTest::importAppliesOnlyAGoodFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QTemporaryDir folder;
    Bench bench;
    bench.file = folder.filePath("import.zarnpreset");
    QFile file(bench.file);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const int listed = bench.list->count();
    bench.bass->setNodeParameter(kCutoff, 99);
    bench.panel.importPreset();
    const bool good = reason.isEmpty();
    QCOMPARE(bench.bass->nodeValues.at(kCutoff), good ? 7u : 99u);
    QCOMPARE(bench.applied.count(), good ? 1 : 0);
    QCOMPARE(bench.list->count(), listed + (good ? 1 : 0));
    QCOMPARE(QFile::exists(PresetLibrary::pathFor(kTB303)), good);
    const QString message = QStringLiteral("Preset not loaded: %1 was not loaded: %2")
                                .arg(QDir::toNativeSeparators(bench.file), reason);
    QCOMPARE(bench.messages.value(0).startsWith(message), !good);
}

QTEST_MAIN(PresetPanelTest)
#include "tst_preset_panel.moc"
