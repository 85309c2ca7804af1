#include "ui/transport/TrackerTransport.h"

#include "infra/Settings.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Replaces the spin box's text the way a user does: select all, type, confirm.
void typeInto(QSpinBox* box, int value)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Return);
}

// The grid's fields, in the order a user types them.
const struct {
    const char* box;
    const char* key;
} kFields[] = { { "spinBoxTPB", settingskey::kTicksPerBeat },
    { "spinBoxBPM", settingskey::kBeatsPerMinute }, { "spinBoxTPS", settingskey::kBeatsPerStep } };

struct Grid {
    int source, bpm, tpb, tps, samplesPerTick;
};

struct Loop {
    bool turnOn;
    int sequenceEnd, loopBegin, playPos, expectedPlayPos;
    bool expectedPlaying;
};

} // namespace

class TransportTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void gridIsTypedAndStored_data();
    void gridIsTypedAndStored();
    void loopToggleMovesThePlayPosition_data();
    void loopToggleMovesThePlayPosition();
    void readoutShowsStepAndTick_data();
    void readoutShowsStepAndTick();

private:
    template <typename T> T* child(const char* name) const
    {
        return m_transport->findChild<T*>(name);
    }
    Position& position() const { return m_song->sequencer->position; }
    QSharedPointer<Settings> makeStore() const
    {
        return QSharedPointer<Settings>::create(
            QStringLiteral("Zarn"), m_dir->filePath(QStringLiteral("transport.ini")));
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    QSharedPointer<Song> m_song;
    std::unique_ptr<TrackerTransport> m_transport;
};

void TransportTest::init()
{
    m_transport.reset(); // with its store, before the store's folder goes
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_song = Song::createNewSong(16);
    m_transport = std::make_unique<TrackerTransport>();
    m_transport->setSong(m_song->sequencer);
    m_transport->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_transport.get()));
}

void TransportTest::gridIsTypedAndStored_data()
{
    // Typed: 0 without a store, 1 with one; restored: 2 filled store, 3 empty store, 4 none;
    // 5: another song's, shown but not stored.
    QTest::addColumn<Grid>("grid");
    // 44100 × 60 = 2646000 samples per minute, divided by the ticks per minute.
    QTest::newRow("1 bpm, 16 tpb") << Grid { 1, 1, 16, 7, 165375 };
    QTest::newRow("highest tempo") << Grid { 0, 99999, 16, 16, 1 };
    QTest::newRow("restored") << Grid { 2, 90, 8, 12, 3675 };
    QTest::newRow("restored from an empty store") << Grid { 3, 120, 16, 16, 1378 };
    QTest::newRow("restored without a store") << Grid { 4, 120, 16, 16, 1378 };
    QTest::newRow("another song") << Grid { 5, 133, 6, 24, -1 }; // its own samples per tick
}

void TransportTest::gridIsTypedAndStored()
{
    QFETCH(Grid, grid);
    const auto [source, bpm, tpb, tps, samplesPerTick] = grid;
    const int values[] = { tpb, bpm, tps };
    const QSharedPointer<Settings> store = source > 0 && source != 4 ? makeStore() : nullptr;
    for (int i = 0; source == 2 && i < 3; ++i)
        store->setInt(QString::fromLatin1(kFields[i].key), values[i]);
    m_transport->setSettings(store);
    if (source >= 2 && source <= 4)
        m_transport->restoreSettings();
    if (source == 5) {
        m_song = Song::createNewSong(16);
        position().ticksPerBeat = tpb;
        position().beatsPerMinute = bpm;
        position().ticksPerStepValue = tps;
        position().looping = false;
        m_transport->setSong(m_song->sequencer);
        QVERIFY(position().looping); // a song starts looping
    }
    for (int i = 0; source < 2 && i < 3; ++i)
        typeInto(child<QSpinBox>(kFields[i].box), values[i]);
    const int shown[]
        = { position().ticksPerBeat, position().beatsPerMinute, position().ticksPerStep() };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(child<QSpinBox>(kFields[i].box)->value(), values[i]);
        QCOMPARE(shown[i], values[i]);
        if (source == 1 || source == 5)
            QCOMPARE(store->intValue(QString::fromLatin1(kFields[i].key), -1),
                source == 1 ? values[i] : -1);
    }
    if (samplesPerTick >= 0)
        QCOMPARE(position().samplesPerTick(), samplesPerTick);
}

void TransportTest::loopToggleMovesThePlayPosition_data()
{
    QTest::addColumn<Loop>("loop");
    QTest::newRow("at the end") << Loop { true, 8000, 2000, 8000, 2000, true };
    QTest::newRow("before the loop") << Loop { true, 8000, 2000, 1000, 2000, true };
    QTest::newRow("at the loop begin") << Loop { true, 8000, 2000, 2000, 2000, true };
    QTest::newRow("inside the loop") << Loop { true, 8000, 2000, 5000, 5000, true };
    QTest::newRow("no sequence end") << Loop { true, 0, 2000, 9000, 9000, true };
    QTest::newRow("loop begin past the end") << Loop { true, 4000, 6000, 5000, 6000, true };
    // Off, the wrap rule stops a position past the end at the end.
    QTest::newRow("off, after the end") << Loop { false, 8000, 2000, 9000, 8000, false };
}

void TransportTest::loopToggleMovesThePlayPosition()
{
    QFETCH(Loop, loop);
    auto* button = child<QPushButton>("toggleButtonLoop");
    QVERIFY(button->isChecked()); // a song starts looping
    if (loop.turnOn)
        QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->isChecked(), !loop.turnOn);
    position().sequenceEnd.sample = loop.sequenceEnd;
    position().loopBegin.sample = loop.loopBegin;
    position().playPos.sample = loop.playPos;
    position().playing = true;
    QSignalSpy looping(m_transport.get(), &TrackerTransport::loopingChanged);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(looping.count(), 1);
    QCOMPARE(looping.at(0).at(0).toBool(), loop.turnOn);
    QCOMPARE(position().looping, loop.turnOn);
    QCOMPARE(position().playPos.sample, loop.expectedPlayPos);
    QCOMPARE(position().shownPlayPos.sample, loop.expectedPlayPos);
    QCOMPARE(position().playing, loop.expectedPlaying);
}

void TransportTest::readoutShowsStepAndTick_data()
{
    using Mode = TrackerTransport::DisplayMode;
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("samplesPerTick");
    QTest::addColumn<int>("ticksPerStep");
    QTest::addColumn<int>("sample");
    QTest::addColumn<QString>("text");
    QTest::newRow("step 12, tick 3")
        << Mode::StepTick << 100 << 16 << (12 * 16 + 3) * 100 << "0012:03";
    QTest::newRow("last sample of the tick")
        << Mode::StepTick << 100 << 16 << (12 * 16 + 3) * 100 + 99 << "0012:03";
    // 2147483647 / 1600 = 1342177; 2147483647 / 100 = 21474836, mod 16 = 4.
    QTest::newRow("wider than four digits")
        << Mode::StepTick << 100 << 16 << 2147483647 << "1342177:04";
    QTest::newRow("time, 75.5 s") << Mode::Time << 100 << 16 << 44100 * 75 + 22050 << "01:15.500";
    QTest::newRow("time, truncated") << Mode::Time << 100 << 16 << 44099 << "00:00.999";
}

void TransportTest::readoutShowsStepAndTick()
{
    QFETCH(TrackerTransport::DisplayMode, mode);
    QFETCH(int, samplesPerTick);
    QFETCH(int, ticksPerStep);
    QFETCH(int, sample);
    {
        // The readout keeps what it needs: this position is gone when the mode is applied.
        Position shown;
        shown.samplesPerTickValue = samplesPerTick;
        shown.ticksPerStepValue = ticksPerStep;
        shown.playPos.sample = sample;
        m_transport->playPositionChanged(shown);
    }
    m_transport->displayModeChanged(mode);
    QTEST(child<QLabel>("labelPosition")->text(), "text");
}

QTEST_MAIN(TransportTest)
#include "tst_transport.moc"
