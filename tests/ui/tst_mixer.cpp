#include "engine/BlockRenderer.h"
#include "processors/io/OutputProcessor.h"
#include "processors/sources/NoiseProcessor.h"
#include "song/Graph.h"
#include "song/SongFile.h"
#include "ui/mixer/ChannelWidget.h"
#include "ui/mixer/LevelMeter.h"
#include "ui/mixer/MixerView.h"
#include "ui/undo/SongHistory.h"

#include <QDial>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <cmath>

namespace {

// A new song with an open noise gate wired into its Output, on a shown mixer with a history.
struct Desk {
    SongPointer song = Song::createNewSong(16);
    zarn::NodePointer output = song->graph->nodes.first();
    zarn::NodePointer noise = zarn::Node::create(QStringLiteral("Noise"), song);
    SongHistory history;
    MixerView view;
    BlockRenderer renderer { song };

    Desk()
    {
        song->graph->addNode(noise);
        song->graph->connect(noise, output);
        noise->processor->setNodeParameter(NoiseProcessor::Note, 60);
        history.setSong(song);
        view.setHistory(&history);
        view.setSong(song);
        view.show();
    }
    ChannelWidget* strip() const { return view.stripOf(output); }
    template <class T> T* control(const char* name) const
    {
        return strip()->findChild<T*>(QLatin1String(name));
    }
    // RMS of four blocks, after the ramps of the change before have settled.
    double level()
    {
        renderer.render();
        double sum = 0.0;
        for (int b = 0; b < 4; ++b) {
            renderer.render();
            const double* block = renderer.block().data();
            for (quint64 i = 0; i < renderer.block().size(); ++i)
                sum += block[i] * block[i];
        }
        return std::sqrt(sum / (4.0 * renderer.block().size()));
    }
    const OutputProcessor& processor() const
    {
        return *static_cast<OutputProcessor*>(output->processor.data());
    }
};

} // namespace

class MixerTest : public QObject {
    Q_OBJECT

private slots:
    void stripsFollowTheOutputs();
    void controlsChangeWhatIsHeard();
    void dragIsOneStep();
    void theMixIsSavedWithTheSong();
    void meterBallistics_data();
    void meterBallistics();
};

// One strip per Output node, in graph order, kept per node; the meters run only when shown.
void MixerTest::stripsFollowTheOutputs()
{
    Desk desk;
    QCOMPARE(desk.view.findChildren<ChannelWidget*>().size(), 1);
    ChannelWidget* first = desk.strip();
    QCOMPARE(first->findChild<QLabel*>(QStringLiteral("labelName"))->text(), desk.output->name);
    QVERIFY(desk.view.meterTimer().isActive());

    const zarn::NodePointer second = zarn::Node::create(QStringLiteral("Output"), desk.song);
    desk.song->graph->addNode(second);
    desk.output->setName(QStringLiteral("Main"));
    desk.view.rebuildChannels();
    QCOMPARE(desk.strip(), first);
    QCOMPARE(
        first->findChild<QLabel*>(QStringLiteral("labelName"))->text(), QStringLiteral("Main"));
    const auto* row = desk.view.findChild<QWidget*>(QStringLiteral("widgetChannels"));
    QCOMPARE(row->layout()->indexOf(first), 0);
    QCOMPARE(row->layout()->indexOf(desk.view.stripOf(second)), 1);
    QCOMPARE(first->palette().color(QPalette::Window), ChannelWidget::colourOf(*desk.output));

    desk.song->graph->removeNode(second);
    desk.view.rebuildChannels();
    QVERIFY(!desk.view.stripOf(second)->isVisible());
    desk.view.hide();
    QVERIFY(!desk.view.meterTimer().isActive());
}

// The fader scales the rendered level, the dials filter it, mute silences it, and every
// change is one step of the history.
void MixerTest::controlsChangeWhatIsHeard()
{
    Desk desk;
    const double unity = desk.level();
    QVERIFY(unity > 0.1);
    desk.control<QSlider>("verticalSliderVolume")->setValue(50);
    QVERIFY(std::abs(desk.level() / unity - 0.5) < 0.05);
    QCOMPARE(desk.processor().songVolume(), 0.5);
    desk.control<QDial>("dialLowPass")->setValue(99);
    QVERIFY(desk.level() / unity < 0.25);
    QCOMPARE(desk.history.stack().count(), 2);
    desk.history.undo();
    desk.history.undo();
    QCOMPARE(desk.processor().songVolume(), 1.0);
    QCOMPARE(desk.control<QSlider>("verticalSliderVolume")->value(), 100);
    QVERIFY(std::abs(desk.level() / unity - 1.0) < 0.1);

    desk.control<QPushButton>("pushButtonMute")->click();
    QCOMPARE(desk.level(), 0.0);
    desk.view.findChild<QPushButton*>(QStringLiteral("pushButtonUnmuteAll"))->click();
    QVERIFY(desk.level() > 0.1);
    desk.view.findChild<QPushButton*>(QStringLiteral("pushButtonMuteAll"))->click();
    QVERIFY(desk.output->muted);
    QCOMPARE(desk.history.stack().count(), 3); // mute, unmute all, mute all: the undone steps went

    // Clip lights once the strip goes past full scale, until it is clicked.
    desk.view.unmuteAll();
    desk.control<QDial>("dialGain")->setValue(99);
    desk.level();
    desk.strip()->updateMeter(0);
    auto* clip = desk.control<QPushButton>("pushButtonSolo_2");
    QVERIFY(clip->isChecked());
    QVERIFY(desk.strip()->meter()->levels().peakDb > 0.0);
    desk.control<QDial>("dialGain")->setValue(0);
    desk.level();
    clip->click();
    desk.level();
    desk.strip()->updateMeter(16);
    QVERIFY(!clip->isChecked());
}

// A drag is heard as it goes and recorded once, when it ends; further changes of the same
// control merge into that step.
void MixerTest::dragIsOneStep()
{
    Desk desk;
    auto* fader = desk.control<QSlider>("verticalSliderVolume");
    fader->setSliderDown(true);
    for (const int value : { 90, 70, 40 }) {
        fader->setValue(value);
        QCOMPARE(desk.processor().songVolume(), value / 100.0);
        QCOMPARE(desk.history.stack().count(), 0);
    }
    fader->setSliderDown(false);
    fader->setValue(45);
    fader->setValue(50);
    QCOMPARE(desk.history.stack().count(), 1);
    desk.control<QDial>("dialGain")->setValue(-8);
    QCOMPARE(desk.history.stack().count(), 2);
    desk.history.undo();
    QCOMPARE(desk.processor().dials(), StripDials {});
    QCOMPARE(desk.processor().songVolume(), 0.5);
    desk.history.undo();
    QCOMPARE(desk.processor().songVolume(), 1.0);
    QVERIFY(!desk.song->changed);
}

// The fader, the dials and mute come back from the file and show on the reopened strip.
void MixerTest::theMixIsSavedWithTheSong()
{
    Desk desk;
    desk.control<QSlider>("verticalSliderVolume")->setValue(70);
    desk.control<QDial>("dialGain")->setValue(8);
    desk.control<QDial>("dialHighPass")->setValue(-20);
    desk.control<QPushButton>("pushButtonMute")->click();
    const SongPointer reopened = Song::createEmpty();
    QVERIFY(songfile::decode(reopened, songfile::encode(*desk.song)).ok);
    const zarn::NodePointer output = reopened->graph->nodeByUniqueID(desk.output->uniqueID);
    QCOMPARE(StripState::of(*output), (StripState { 0.7, { 8, -20, 0 } }));
    QVERIFY(output->muted);
    MixerView view;
    view.setSong(reopened);
    QCOMPARE(view.stripOf(output)->findChild<QDial*>(QStringLiteral("dialGain"))->value(), 8);
}

// Readings of a full-scale sine (peak 1, mean square 1/2) every 16 ms up to 1984 ms, then
// silence: the peak falls at 20 dB/s, the mean square decays with a 300 ms time constant, and
// the hold stays 1.5 s after the last peak before it falls like the peak.
void MixerTest::meterBallistics_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<double>("peakDb");
    QTest::addColumn<double>("rmsDb");
    QTest::addColumn<double>("holdDb");
    const auto rmsAt = [](qint64 t) {
        const double playing = 0.5 * (1.0 - std::exp(-1984.0 / 300.0));
        return std::max(-60.0, 10.0 * std::log10(playing * std::exp(-(t - 1984) / 300.0)));
    };
    QTest::newRow("while playing") << qint64(1984) << 0.0 << rmsAt(1984) << 0.0;
    QTest::newRow("0.4 s of silence") << qint64(2384) << -8.0 << rmsAt(2384) << 0.0;
    QTest::newRow("still held") << qint64(3472) << -29.76 << rmsAt(3472) << 0.0;
    QTest::newRow("hold falling") << qint64(3984) << -40.0 << rmsAt(3984) << -32 * 0.32;
    QTest::newRow("floor") << qint64(6000) << -60.0 << -60.0 << -158 * 0.32;
}

void MixerTest::meterBallistics()
{
    QFETCH(qint64, at);
    QFETCH(double, peakDb);
    QFETCH(double, rmsDb);
    QFETCH(double, holdDb);
    MeterBallistics meter;
    for (qint64 now = 0; now <= at; now += 16)
        now < 2000 ? meter.feed(1.0, 0.5, now) : meter.feed(0.0, 0.0, now);
    const MeterLevels levels = meter.levels();
    QVERIFY2(std::abs(levels.peakDb - peakDb) < 0.02, qPrintable(QString::number(levels.peakDb)));
    QVERIFY2(std::abs(levels.rmsDb - rmsDb) < 0.02, qPrintable(QString::number(levels.rmsDb)));
    QVERIFY2(std::abs(levels.holdDb - holdDb) < 0.02, qPrintable(QString::number(levels.holdDb)));
}

QTEST_MAIN(MixerTest)
#include "tst_mixer.moc"
