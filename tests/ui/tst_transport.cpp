#include "ui/transport/TrackerTransport.h"

#include "infra/Settings.h"
#include "song/Sequencer.h"
#include "song/Song.h"

#include <QFontInfo>
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

} // namespace

class TransportTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tempoAndGridSetSamplesPerTick_data();
    void tempoAndGridSetSamplesPerTick();
    void loopToggleMovesThePlayPosition_data();
    void loopToggleMovesThePlayPosition();
    void readoutShowsStepAndTick_data();
    void readoutShowsStepAndTick();
    void readoutUsesAMonospaceFace();
    void spinBoxesAreStored_data();
    void spinBoxesAreStored();
    void restoreReadsTheStore_data();
    void restoreReadsTheStore();
    void setSongShowsTheSongWithoutStoringIt();
    void clicksEmitTheirSignal_data();
    void clicksEmitTheirSignal();
    void playButtonSwitchesItsToolTip();

private:
    template <typename T> T* child(const char* name) const
    {
        T* found = m_transport->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("missing %s", name);
        return found;
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
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_song = Song::createNewSong(16);
    m_transport = std::make_unique<TrackerTransport>();
    m_transport->setSong(m_song->sequencer);
    m_transport->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_transport.get()));
}

void TransportTest::cleanup()
{
    m_transport.reset();
    m_song.reset();
    m_dir.reset();
}

void TransportTest::tempoAndGridSetSamplesPerTick_data()
{
    QTest::addColumn<int>("bpm");
    QTest::addColumn<int>("tpb");
    QTest::addColumn<int>("samplesPerTick");
    // 44100 × 60 = 2646000 samples per minute, divided by the ticks per minute.
    QTest::newRow("1 bpm, 16 tpb") << 1 << 16 << 165375;
    QTest::newRow("120 bpm, 4 tpb, truncated") << 120 << 4 << 5512;
    QTest::newRow("120 bpm, 16 tpb, truncated") << 120 << 16 << 1378;
    QTest::newRow("highest tempo") << 99999 << 16 << 1;
}

void TransportTest::tempoAndGridSetSamplesPerTick()
{
    QFETCH(int, bpm);
    QFETCH(int, tpb);
    QFETCH(int, samplesPerTick);
    QCOMPARE(position().samplesPerSecond, 44100);
    typeInto(child<QSpinBox>("spinBoxTPB"), tpb);
    typeInto(child<QSpinBox>("spinBoxBPM"), bpm);
    QCOMPARE(position().beatsPerMinute, bpm);
    QCOMPARE(position().ticksPerBeat, tpb);
    QCOMPARE(position().samplesPerTick(), samplesPerTick);
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
    QFETCH(int, sequenceEnd);
    QFETCH(int, loopBegin);
    QFETCH(int, playPos);
    QFETCH(int, expectedPlayPos);
    QFETCH(bool, expectedPlaying);
    auto* loop = child<QPushButton>("toggleButtonLoop");
    QVERIFY(loop->isChecked()); // a song starts looping
    if (turnOn)
        QTest::mouseClick(loop, Qt::LeftButton);
    QCOMPARE(loop->isChecked(), !turnOn);

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
    QCOMPARE(position().playing, expectedPlaying);
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
    QFETCH(QString, text);
    {
        // The readout keeps what it needs: this position is gone when the mode is applied.
        Position shown;
        shown.samplesPerTickValue = samplesPerTick;
        shown.ticksPerStepValue = ticksPerStep;
        shown.playPos.sample = sample;
        m_transport->playPositionChanged(shown);
    }
    m_transport->displayModeChanged(mode);
    QCOMPARE(child<QLabel>("labelPosition")->text(), text);
}

void TransportTest::readoutUsesAMonospaceFace()
{
    auto* label = child<QLabel>("labelPosition");
    QVERIFY(QFontInfo(label->font()).fixedPitch());
    const QFontMetrics metrics(label->font());
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("1111:11")),
        metrics.horizontalAdvance(QStringLiteral("0000:00")));
}

void TransportTest::spinBoxesAreStored_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("withStore");
    const struct {
        const char* box;
        const char* key;
    } boxes[] = {
        { "spinBoxBPM", settingskey::kBeatsPerMinute },
        { "spinBoxTPB", settingskey::kTicksPerBeat },
        { "spinBoxTPS", settingskey::kBeatsPerStep },
    };
    for (const auto& b : boxes) {
        QTest::addRow("%s stored", b.box) << b.box << b.key << true;
        QTest::addRow("%s without a store", b.box) << b.box << b.key << false;
    }
}

void TransportTest::spinBoxesAreStored()
{
    QFETCH(QString, box);
    QFETCH(QString, key);
    QFETCH(bool, withStore);
    const QSharedPointer<Settings> store = withStore ? makeStore() : nullptr;
    m_transport->setSettings(store);
    auto* spinBox = m_transport->findChild<QSpinBox*>(box);
    QVERIFY(spinBox);
    typeInto(spinBox, 77);

    const int shown = box == QLatin1String("spinBoxBPM") ? position().beatsPerMinute
        : box == QLatin1String("spinBoxTPB")             ? position().ticksPerBeat
                                                         : position().ticksPerStep();
    QCOMPARE(shown, 77);
    if (withStore)
        QCOMPARE(store->intValue(key, -1), 77);
}

void TransportTest::restoreReadsTheStore_data()
{
    QTest::addColumn<bool>("withStore");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<int>("bpm");
    QTest::addColumn<int>("tpb");
    QTest::addColumn<int>("tps");
    QTest::addColumn<int>("samplesPerTick");
    // 2646000 samples per minute over 720 and over 1920 ticks per minute.
    QTest::newRow("stored values") << true << true << 90 << 8 << 12 << 3675;
    QTest::newRow("empty store, defaults") << true << false << 120 << 16 << 16 << 1378;
    QTest::newRow("no store, defaults") << false << false << 120 << 16 << 16 << 1378;
}

void TransportTest::restoreReadsTheStore()
{
    QFETCH(bool, withStore);
    QFETCH(bool, filled);
    QFETCH(int, bpm);
    QFETCH(int, tpb);
    QFETCH(int, tps);
    QFETCH(int, samplesPerTick);
    if (withStore) {
        const QSharedPointer<Settings> store = makeStore();
        if (filled) {
            store->setInt(QString::fromLatin1(settingskey::kBeatsPerMinute), bpm);
            store->setInt(QString::fromLatin1(settingskey::kTicksPerBeat), tpb);
            store->setInt(QString::fromLatin1(settingskey::kBeatsPerStep), tps);
        }
        m_transport->setSettings(store);
    }
    m_transport->restoreSettings();
    QCOMPARE(child<QSpinBox>("spinBoxBPM")->value(), bpm);
    QCOMPARE(child<QSpinBox>("spinBoxTPB")->value(), tpb);
    QCOMPARE(child<QSpinBox>("spinBoxTPS")->value(), tps);
    QCOMPARE(position().beatsPerMinute, bpm);
    QCOMPARE(position().ticksPerBeat, tpb);
    QCOMPARE(position().ticksPerStep(), tps);
    QCOMPARE(position().samplesPerTick(), samplesPerTick);
}

void TransportTest::setSongShowsTheSongWithoutStoringIt()
{
    const QSharedPointer<Settings> store = makeStore();
    store->setInt(QString::fromLatin1(settingskey::kBeatsPerMinute), 90);
    m_transport->setSettings(store);

    const QSharedPointer<Song> other = Song::createNewSong(16);
    Position& p = other->sequencer->position;
    p.beatsPerMinute = 133;
    p.ticksPerBeat = 6;
    p.ticksPerStepValue = 24;
    p.playing = true;
    p.recording = true;
    p.looping = false;
    m_transport->setSong(other->sequencer);
    // Looping starts on; playing and recording keep the song's own flags.
    QVERIFY(p.looping && p.playing && p.recording);
    QVERIFY(child<QPushButton>("toggleButtonLoop")->isChecked());
    QVERIFY(child<QPushButton>("toggleButtonPlay")->isChecked());
    QVERIFY(child<QPushButton>("toggleButtonRecord")->isChecked());
    QCOMPARE(child<QSpinBox>("spinBoxBPM")->value(), 133);
    QCOMPARE(child<QSpinBox>("spinBoxTPB")->value(), 6);
    QCOMPARE(child<QSpinBox>("spinBoxTPS")->value(), 24);
    QCOMPARE(store->intValue(QString::fromLatin1(settingskey::kBeatsPerMinute)), 90);
    QCOMPARE(store->intValue(QString::fromLatin1(settingskey::kTicksPerBeat), -1), -1);
    QCOMPARE(store->intValue(QString::fromLatin1(settingskey::kBeatsPerStep), -1), -1);

    // Edits now reach the new song, not the old one.
    typeInto(child<QSpinBox>("spinBoxBPM"), 140);
    QCOMPARE(p.beatsPerMinute, 140);
    QCOMPARE(position().beatsPerMinute, 120);
}

void TransportTest::clicksEmitTheirSignal_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("signalIndex");
    const QMetaObject& meta = TrackerTransport::staticMetaObject;
    const auto index = [&meta](const char* signature) {
        return meta.indexOfSignal(QMetaObject::normalizedSignature(signature).constData());
    };
    QTest::newRow("play") << "toggleButtonPlay" << index("playingChanged(bool)");
    QTest::newRow("loop") << "toggleButtonLoop" << index("loopingChanged(bool)");
    QTest::newRow("record") << "toggleButtonRecord" << index("recordingChanged(bool)");
    QTest::newRow("render") << "toggleButtonRender" << index("playbackModeChanged(bool)");
}

void TransportTest::clicksEmitTheirSignal()
{
    QFETCH(QString, button);
    QFETCH(int, signalIndex);
    QVERIFY(signalIndex >= 0);
    auto* pushButton = m_transport->findChild<QPushButton*>(button);
    QVERIFY(pushButton);
    const bool before = pushButton->isChecked();
    QSignalSpy spy(m_transport.get(), TrackerTransport::staticMetaObject.method(signalIndex));
    QTest::mouseClick(pushButton, Qt::LeftButton);
    QTest::mouseClick(pushButton, Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), !before);
    QCOMPARE(spy.at(1).at(0).toBool(), before);
}

void TransportTest::playButtonSwitchesItsToolTip()
{
    auto* play = child<QPushButton>("toggleButtonPlay");
    auto* render = child<QPushButton>("toggleButtonRender");
    QCOMPARE(play->toolTip(), QStringLiteral("Play (F5)"));
    const qint64 playIcon = play->icon().cacheKey();
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(play->toolTip(), QStringLiteral("Stop (F8)"));
    QVERIFY(position().playing);
    QVERIFY(play->icon().cacheKey() != playIcon);
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(play->toolTip(), QStringLiteral("Play (F5)"));
    QVERIFY(!position().playing);

    // The window starts playback (F5) through the slot; the button follows without echoing.
    QSignalSpy playing(m_transport.get(), &TrackerTransport::playingChanged);
    m_transport->togglePlay(true);
    QCOMPARE(playing.count(), 1);
    QVERIFY(play->isChecked());
    QCOMPARE(play->toolTip(), QStringLiteral("Stop (F8)"));

    QCOMPARE(render->text(), QStringLiteral("LIVE"));
    QTest::mouseClick(render, Qt::LeftButton);
    QCOMPARE(render->text(), QStringLiteral("RENDER"));
    QVERIFY(m_transport->renderMode());
}

QTEST_MAIN(TransportTest)
#include "tst_transport.moc"
