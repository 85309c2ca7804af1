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
    void setSongShowsTheSongWithoutStoringIt();

private:
    template <typename T> T* child(const char* name) const
    {
        return m_transport->findChild<T*>(QString::fromLatin1(name));
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
    // Typed: 0 without a store, 1 with one; restored: 2 filled store, 3 empty store, 4 none.
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("bpm");
    QTest::addColumn<int>("tpb");
    QTest::addColumn<int>("tps");
    QTest::addColumn<int>("samplesPerTick");
    // 44100 × 60 = 2646000 samples per minute, divided by the ticks per minute.
    QTest::newRow("1 bpm, 16 tpb") << 1 << 1 << 16 << 7 << 165375;
    QTest::newRow("120 bpm, 4 tpb, truncated") << 0 << 120 << 4 << 77 << 5512;
    QTest::newRow("120 bpm, 16 tpb, truncated") << 1 << 120 << 16 << 3 << 1378;
    QTest::newRow("highest tempo") << 0 << 99999 << 16 << 16 << 1;
    QTest::newRow("restored") << 2 << 90 << 8 << 12 << 3675;
    QTest::newRow("restored from an empty store") << 3 << 120 << 16 << 16 << 1378;
    QTest::newRow("restored without a store") << 4 << 120 << 16 << 16 << 1378;
}

void TransportTest::gridIsTypedAndStored()
{
    QFETCH(int, source);
    QCOMPARE(position().samplesPerSecond, 44100);
    QFETCH(int, bpm);
    QFETCH(int, tpb);
    QFETCH(int, tps);
    const int values[] = { tpb, bpm, tps };
    const QSharedPointer<Settings> store = source > 0 && source < 4 ? makeStore() : nullptr;
    for (int i = 0; source == 2 && i < 3; ++i)
        store->setInt(QString::fromLatin1(kFields[i].key), values[i]);
    m_transport->setSettings(store);
    if (source >= 2)
        m_transport->restoreSettings();
    for (int i = 0; source < 2 && i < 3; ++i)
        typeInto(child<QSpinBox>(kFields[i].box), values[i]);
    const int shown[]
        = { position().ticksPerBeat, position().beatsPerMinute, position().ticksPerStep() };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(child<QSpinBox>(kFields[i].box)->value(), values[i]);
        QCOMPARE(shown[i], values[i]);
        if (source == 1)
            QCOMPARE(store->intValue(QString::fromLatin1(kFields[i].key), -1), values[i]);
    }
    QTEST(position().samplesPerTick(), "samplesPerTick");
}

void TransportTest::loopToggleMovesThePlayPosition_data()
{
    QTest::addColumn<bool>("turnOn");
    QTest::addColumn<int>("sequenceEnd");
    QTest::addColumn<int>("loopBegin");
    QTest::addColumn<int>("playPos");
    QTest::addColumn<int>("expectedPlayPos");
    QTest::addColumn<bool>("expectedPlaying");
    QTest::newRow("after the end") << true << 8000 << 2000 << 9000 << 2000 << true;
    QTest::newRow("at the end") << true << 8000 << 2000 << 8000 << 2000 << true;
    QTest::newRow("before the loop") << true << 8000 << 2000 << 1000 << 2000 << true;
    QTest::newRow("at the loop begin") << true << 8000 << 2000 << 2000 << 2000 << true;
    QTest::newRow("inside the loop") << true << 8000 << 2000 << 5000 << 5000 << true;
    QTest::newRow("no sequence end") << true << 0 << 2000 << 9000 << 9000 << true;
    QTest::newRow("no end, before the loop") << true << 0 << 2000 << 1000 << 1000 << true;
    QTest::newRow("loop begin past the end") << true << 4000 << 6000 << 5000 << 6000 << true;
    // Off, the wrap rule stops a position past the end at the end.
    QTest::newRow("off, after the end") << false << 8000 << 2000 << 9000 << 8000 << false;
    QTest::newRow("off, inside") << false << 8000 << 2000 << 5000 << 5000 << true;
}

void TransportTest::loopToggleMovesThePlayPosition()
{
    QFETCH(bool, turnOn);
    QFETCH(int, expectedPlayPos);
    auto* loop = child<QPushButton>("toggleButtonLoop");
    QVERIFY(loop->isChecked()); // a song starts looping
    if (turnOn)
        QTest::mouseClick(loop, Qt::LeftButton);
    QCOMPARE(loop->isChecked(), !turnOn);
    QFETCH(int, sequenceEnd);
    QFETCH(int, loopBegin);
    QFETCH(int, playPos);
    position().sequenceEnd.sample = sequenceEnd;
    position().loopBegin.sample = loopBegin;
    position().playPos.sample = playPos;
    position().playing = true;
    QSignalSpy looping(m_transport.get(), &TrackerTransport::loopingChanged);
    QTest::mouseClick(loop, Qt::LeftButton);
    QCOMPARE(looping.count(), 1);
    QCOMPARE(looping.at(0).at(0).toBool(), turnOn);
    QCOMPARE(position().looping, turnOn);
    QCOMPARE(position().playPos.sample, expectedPlayPos);
    QCOMPARE(position().shownPlayPos.sample, expectedPlayPos);
    QTEST(position().playing, "expectedPlaying");
}

void TransportTest::readoutShowsStepAndTick_data()
{
    using Mode = TrackerTransport::DisplayMode;
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("samplesPerTick");
    QTest::addColumn<int>("ticksPerStep");
    QTest::addColumn<int>("sample");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << Mode::StepTick << 100 << 16 << 0 << "0000:00";
    QTest::newRow("step 12, tick 3")
        << Mode::StepTick << 100 << 16 << (12 * 16 + 3) * 100 << "0012:03";
    QTest::newRow("last sample of the tick")
        << Mode::StepTick << 100 << 16 << (12 * 16 + 3) * 100 + 99 << "0012:03";
    QTest::newRow("four ticks per step")
        << Mode::StepTick << 10 << 4 << 7 * 40 + 3 * 10 + 9 << "0007:03";
    QTest::newRow("two-digit tick") << Mode::StepTick << 1 << 64 << 63 << "0000:63";
    // 2147483647 / 1600 = 1342177; 2147483647 / 100 = 21474836, mod 16 = 4.
    QTest::newRow("wider than four digits")
        << Mode::StepTick << 100 << 16 << 2147483647 << "1342177:04";
    QTest::newRow("time, start") << Mode::Time << 100 << 16 << 0 << "00:00.000";
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

void TransportTest::setSongShowsTheSongWithoutStoringIt()
{
    const QSharedPointer<Settings> store = makeStore();
    store->setInt(QString::fromLatin1(settingskey::kBeatsPerMinute), 90);
    m_transport->setSettings(store);
    const QSharedPointer<Song> other = Song::createNewSong(16);
    Position& p = other->sequencer->position;
    p.ticksPerBeat = 6;
    p.beatsPerMinute = 133;
    p.ticksPerStepValue = 24;
    p.playing = p.recording = true;
    p.looping = false;
    m_transport->setSong(other->sequencer);
    // Looping starts on; playing and recording keep the song's own flags.
    QVERIFY(p.looping && p.playing && p.recording);
    for (const char* button : { "toggleButtonLoop", "toggleButtonPlay", "toggleButtonRecord" })
        QVERIFY2(child<QPushButton>(button)->isChecked(), button);
    const int shown[] = { 6, 133, 24 }, kept[] = { -1, 90, -1 };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(child<QSpinBox>(kFields[i].box)->value(), shown[i]);
        QCOMPARE(store->intValue(QString::fromLatin1(kFields[i].key), -1), kept[i]);
    }
    // Edits now reach the new song, not the old one.
    typeInto(child<QSpinBox>("spinBoxBPM"), 140);
    QCOMPARE(p.beatsPerMinute, 140);
    QCOMPARE(position().beatsPerMinute, 120);
}

QTEST_MAIN(TransportTest)
#include "tst_transport.moc"
