#include "processors/ProcessorFactory.h"
#include "processors/sources/SampleProcessor.h"
#include "song/Graph.h"
#include "song/PatternClipboard.h"
#include "song/Sequencer.h"
#include "ui/parameters/ParameterView.h"
#include "ui/parameters/ParameterWidget.h"
#include "ui/parameters/SampleLoader.h"
#include "ui/parameters/SamplePanel.h"
#include "ui/undo/SongHistory.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using P = ParameterDescriptor;

// A processor with the given node parameters that counts the rows and resets it is given.
struct Probe final : Processor {
    explicit Probe(const QList<ParameterPointer>& nodeParameters)
        : Processor(ProcessorCharacter())
    {
        m_schema->nodeParameters = nodeParameters;
    }
    SchemaPointer schema() const override { return m_schema; }
    void applyRow(const quint32*, int, quint32) override { ++rows; }
    void reset() override { ++resets; }
    int rows = 0;
    int resets = 0;
    QSharedPointer<NodeParameterSchema> m_schema = QSharedPointer<NodeParameterSchema>::create();
};

enum Knob { Note, Flagged, Level, Wide, On };

QList<ParameterPointer> knobs()
{
    return { P::midiNote("Note", "", 253), P::makeSwitch("Flagged", "", 1),
        P::byte("Level", "", 0x10, 0x1F, 0xFF, 0x14), P::word("Wide", "", 0x3FF, 0x200),
        P::makeSwitch("On", "", 0) };
}

// One node with the processor and a 16-row pattern in a song with a history, and its window.
struct Bench {
    SongPointer song = Song::createEmpty();
    zarn::NodePointer node = zarn::NodePointer::create();
    QSharedPointer<Probe> probe;
    SongHistory history;
    QPointer<ParameterView> view;
    Position& position = song->sequencer->position;

    explicit Bench(const ProcessorPointer& processor = QSharedPointer<Probe>::create(knobs()))
        : probe(processor.dynamicCast<Probe>())
    {
        node->name = QStringLiteral("Knobs");
        node->uniqueID = QStringLiteral("knobs-id");
        node->processor = processor;
        node->patterns.append(PatternPointer::create(QStringLiteral("00"), node, 16));
        song->graph->addNode(node);
        song->untaint(QStringLiteral("test"));
        history.setSong(song);
        position.recording = position.playing = true;
        view = new ParameterView(node, song, &history);
    }
    ~Bench() { delete view.data(); }
    const Pattern& pattern() const { return *node->patterns.at(0); }
    ParameterWidget* row(const QString& name) const
    {
        const auto named = [&](const ParameterWidget* r) { return r->descriptor()->name == name; };
        return *std::find_if(view->rows().begin(), view->rows().end(), named);
    }
    QSlider* slider(const QString& name) const { return row(name)->findChild<QSlider*>(); }
    QPushButton* toggle(const QString& name) const { return row(name)->findChild<QPushButton*>(); }
    void click(const char* button) const
    {
        view->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
    // The filled rows as "tick:value of Level".
    QStringList recorded() const
    {
        QStringList out;
        for (int t = 0; t < pattern().rows.size(); ++t)
            if (const RowPointer r = pattern().rowAt(t))
                out << QStringLiteral("%1:%2").arg(t).arg(r->cells.value(Level));
        return out;
    }
};

} // namespace

class ParameterViewTest : public QObject {
    Q_OBJECT

private slots:
    void rowsAreTheAdjustableParameters_data();
    void rowsAreTheAdjustableParameters();
    void copyTakesEveryNodeParameter();
    void randomizeSparesNotesAndFlagsDefaultsDoesNot();
    void onlyTheUsersChangesAreRecorded_data();
    void onlyTheUsersChangesAreRecorded();
    void aPassIsOneUndoStep_data();
    void aPassIsOneUndoStep();
    void aSampleLoadsAsOneStepOrNotAtAll_data();
    void aSampleLoadsAsOneStepOrNotAtAll();
};

void ParameterViewTest::rowsAreTheAdjustableParameters_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("rows"); // a switch is marked with '*'
    QTest::newRow("TB-303") << "TB-303"
                            << QStringList { "Volume", "Waveform*", "Cutoff", "Resonance",
                                   "EnvMod" };
    QTest::newRow("notes and flags only") << "" << QStringList {};
    QTest::newRow("no processor") << "none" << QStringList {};
}

void ParameterViewTest::rowsAreTheAdjustableParameters()
{
    QFETCH(QString, type);
    QFETCH(QStringList, rows);
    const ProcessorPointer processor = type.isEmpty()
        ? QSharedPointer<Probe>::create(knobs().mid(Note, 2))
        : ProcessorFactory::instance().create(type);
    Bench bench(processor);
    QStringList shown;
    for (const ParameterWidget* r : bench.view->rows()) {
        shown << r->descriptor()->name + (r->isSwitch() ? "*" : "");
        QCOMPARE(r->findChild<QSlider*>()->isHidden(), r->isSwitch());
        QCOMPARE(r->findChild<QPushButton*>()->isHidden(), !r->isSwitch());
    }
    QCOMPARE(shown, rows);
    QCOMPARE(bench.view->findChild<QLabel*>("labelEmpty")->isHidden(), !rows.isEmpty());
    QCOMPARE(bench.view->windowTitle(), QStringLiteral("Parameters for Node Knobs (knobs-id)"));
    QCOMPARE(bench.view->findChild<QTabWidget*>()->isTabEnabled(1), processor != nullptr);
    for (const char* button : { "pushButtonCopy", "pushButtonRandomize", "pushButtonDefaults",
             "pushButtonReset", "pushButtonClose" })
        bench.click(button); // harmless without a processor or rows
    QCOMPARE(bench.probe ? bench.probe->resets : 1, 1);
}

void ParameterViewTest::copyTakesEveryNodeParameter()
{
    // Neither parameter has a row, yet both are copied; a value equal to the empty mark is absent.
    Bench bench(QSharedPointer<Probe>::create(knobs().mid(Note, 2)));
    bench.probe->nodeValues = { 60, 2 };
    bench.click("pushButtonCopy");
    const auto block = clipboard::blockIn<PatternBlock>(clipboard::current());
    QVERIFY(block);
    QCOMPARE(block->processorId, bench.probe->instanceId());
    QCOMPARE(block->tickCount, 1);
    QStringList names, cells; // a cell's value, or '-' when absent
    QList<qint32> layout; // type, node parameter, index in group, lane of each column
    for (const PatternColumn& c : block->columns) {
        names << c.name;
        layout << c.valueType << c.isNodeParameter << c.indexInGroup << c.lane;
    }
    for (const PatternCell& c : block->cells)
        cells << (c.present ? QString::number(c.value) : QStringLiteral("-"));
    QCOMPARE(names, QStringList({ "Note", "Flagged" }));
    QCOMPARE(layout, QList<qint32>({ 3, 1, 0, 0, 1, 1, 1, 0 }));
    QCOMPARE(cells, QStringList({ "60", "-" }));
}

void ParameterViewTest::randomizeSparesNotesAndFlagsDefaultsDoesNot()
{
    Bench bench;
    QList<quint32>& values = bench.probe->nodeValues;
    values[Note] = 60;
    values[Flagged] = 1;
    QSet<quint32> levels, switches;
    for (int i = 0; i < 400; ++i) {
        bench.click("pushButtonRandomize");
        QCOMPARE(values.at(Note), 60u);
        QCOMPARE(values.at(Flagged), 1u);
        QVERIFY(values.at(Level) >= 0x10 && values.at(Level) <= 0x1F);
        QVERIFY(values.at(Wide) <= 0x3FF);
        QCOMPARE(quint32(bench.slider("Level")->value()), values.at(Level));
        levels << values.at(Level);
        switches << values.at(On);
    }
    // Every value of the range turns up, both ends included.
    QCOMPARE(levels.size(), 16);
    QCOMPARE(switches, QSet<quint32>({ 0, 1 }));

    bench.click("pushButtonDefaults");
    QCOMPARE(values, QList<quint32>({ 255, 0, 0x14, 0x200, 0 }));
    QCOMPARE(bench.slider("Level")->value(), 0x14);
}

void ParameterViewTest::onlyTheUsersChangesAreRecorded_data()
{
    QTest::addColumn<QString>("off"); // what keeps the change out of the pattern
    QTest::addColumn<int>("samplesPerTick");
    QTest::addColumn<QStringList>("rows");
    // 100000 / 5512 = tick 18, row 18 mod 16; without a grid 100000 / 64 = 1562, row 10.
    QTest::newRow("recording") << "" << 5512 << QStringList { "2:24" };
    QTest::newRow("no grid") << "" << 0 << QStringList { "10:24" };
    QTest::newRow("not recording") << "recording" << 5512 << QStringList {};
    QTest::newRow("stopped") << "playing" << 5512 << QStringList {};
    QTest::newRow("node deleted") << "graph" << 5512 << QStringList {};
}

void ParameterViewTest::onlyTheUsersChangesAreRecorded()
{
    QFETCH(QString, off);
    QFETCH(int, samplesPerTick);
    QFETCH(QStringList, rows);
    Bench bench;
    if (off == "graph") {
        bench.song->graph->removeNode(bench.node);
        bench.song->untaint(QStringLiteral("test"));
    }
    bench.position.recording = off != "recording";
    bench.position.playing = off != "playing";
    bench.position.samplesPerTickValue = samplesPerTick;
    bench.position.playPos.sample = 100000;
    QList<quint32>& values = bench.probe->nodeValues;
    // The engine applied a row: the view follows without sending the values back.
    values[Level] = 0x1E;
    values[On] = 1;
    bench.view->refresh();
    QCOMPARE(bench.slider("Level")->value(), 0x1E);
    QCOMPARE(bench.row("Level")->findChild<QLabel*>("labelValue")->text(), QStringLiteral("30"));
    QCOMPARE(bench.toggle("On")->text(), QStringLiteral("On"));
    QCOMPARE(bench.probe->rows, 0);
    QVERIFY(bench.recorded().isEmpty());

    bench.slider("Level")->setValue(0x18);
    QCOMPARE(values.at(Level), 0x18u); // the sound changes in every case
    QCOMPARE(bench.recorded(), rows);
    QCOMPARE(bench.song->changed, !rows.isEmpty());
    for (const RowPointer& r : bench.pattern().rows) // neutral apart from the recorded cells
        QVERIFY(!r || r->cells.value(Note) == 255);
    bench.toggle("On")->click();
    QCOMPARE(values.at(On), 0u);
    QCOMPARE(bench.probe->rows, 2);
}

void ParameterViewTest::aPassIsOneUndoStep_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("recording stops") << "record";
    QTest::newRow("playing stops") << "play";
    QTest::newRow("pattern changes") << "pattern";
    QTest::newRow("window closes") << "close";
}

void ParameterViewTest::aPassIsOneUndoStep()
{
    QFETCH(QString, end);
    Bench bench;
    const auto other = PatternPointer::create(QStringLiteral("01"), bench.node, 16);
    bench.position.samplesPerTickValue = 100;
    for (const int tick : { 0, 3, 7 }) {
        bench.position.playPos.sample = tick * 100;
        bench.slider("Level")->setValue(0x10 + tick);
    }
    const QStringList recorded { "0:16", "3:19", "7:23" };
    QCOMPARE(bench.recorded(), recorded);
    bench.view->refresh();
    QCOMPARE(bench.history.stack().count(), 0); // still recording
    QVERIFY(bench.song->changed);

    if (end == "record")
        bench.position.recording = false;
    else if (end == "play")
        bench.position.playing = false;
    else if (end == "pattern")
        bench.view->currentPattern = [other] { return other; };
    if (end == "close") {
        QTest::ignoreMessage(QtDebugMsg, "Closing parameter window");
        bench.view->close();
    } else {
        bench.view->refresh();
    }
    QCOMPARE(bench.history.stack().count(), 1);
    QCOMPARE(bench.history.stack().undoText(), QStringLiteral("Record parameters"));

    bench.history.undo();
    QVERIFY(bench.recorded().isEmpty());
    QVERIFY(!bench.song->changed);
    bench.history.redo();
    QCOMPARE(bench.recorded(), recorded);
}

QTEST_MAIN(ParameterViewTest)
// A WAV file at the engine rate with 16-bit frames 0x4000, 0xC000 and 0x2000: 0.5, -0.5 and
// 0.25 when read. The RIFF size is 36 + the 6 data bytes.
void ParameterViewTest::aSampleLoadsAsOneStepOrNotAtAll_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<float>>("loaded"); // empty when refused
    QTest::newRow("a sound file") << QByteArray::fromHex(
        "52494646 2a000000 57415645 666d7420 10000000 0100 0100 44ac0000"
        "88580100 0200 1000 64617461 06000000 0040 00c0 0020")
                                  << QList<float> { 0.5f, -0.5f, 0.25f };
    QTest::newRow("words in a sound file's name") << QByteArray("not a sound") << QList<float> {};
}

void ParameterViewTest::aSampleLoadsAsOneStepOrNotAtAll()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<float>, loaded);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hit.wav"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    const auto sampler = QSharedPointer<SampleProcessor>::create(44100);
    const Sample previous { QStringLiteral("old.wav"), { 0.1f } };
    sampler->setSample(previous);
    Bench bench(sampler);
    bench.node->song = bench.song;
    auto* panel = bench.view->findChild<SamplePanel*>();
    QVERIFY(panel);
    QStringList warnings;
    panel->loader().askPath = [&] { return path; };
    panel->loader().warn = [&](const QString&, const QString& text) { warnings << text; };
    QSignalSpy finished(&panel->loader(), &SampleLoader::finished);
    bench.click("pushButtonLoadSample");
    QVERIFY(finished.wait());

    const Sample expected = loaded.isEmpty() ? previous : Sample { "hit.wav", loaded };
    QCOMPARE(sampler->sample(), expected);
    QCOMPARE(warnings.size(), loaded.isEmpty() ? 1 : 0);
    QVERIFY(warnings.isEmpty() || warnings.first().contains(path));
    QCOMPARE(bench.history.stack().count(), loaded.isEmpty() ? 0 : 1);
    panel->refresh();
    QCOMPARE(panel->findChild<QLabel*>("labelSampleName")->text(), expected.name);
    bench.history.undo();
    QCOMPARE(sampler->sample(), previous);
}

#include "tst_parameter_view.moc"
