#include "core/AudioContext.h"
#include "song/Song.h"
#include "ui/scopes/ConnectionScope.h"
#include "ui/scopes/ScopeDrawing.h"
#include "ui/scopes/UnifiedAudioScope.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>
#include <numeric>

namespace {
const QColor kTrace(0, 220, 0);
int tracePixels(const QImage& image)
{
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
    return int(std::count(pixels, pixels + image.width() * image.height(), kTrace.rgb()));
}
} // namespace

class AudioScopeTest : public QObject {
    Q_OBJECT

private slots:
    void ringKeepsTheNewest_data();
    void ringKeepsTheNewest();
    void freezeDropsWhatArrivesWhileHeld();
    void levelMeterFollowsAFullScaleSine_data();
    void levelMeterFollowsAFullScaleSine();
    void colours_data();
    void colours();
    void popsOutAndBackToItsPlace();
    void connectionScopeListensWithoutEditingTheSong();
};

void AudioScopeTest::ringKeepsTheNewest_data()
{
    QTest::addColumn<QList<int>>("pushes");
    QTest::addColumn<quint64>("dropped");
    QTest::newRow("one too many") << QList<int> { 16384 } << quint64(1);
    QTest::newRow("20000 at once") << QList<int> { 20000 } << quint64(3617);
    QTest::newRow("20000 in two") << QList<int> { 10000, 10000 } << quint64(3617);
}

void AudioScopeTest::ringKeepsTheNewest()
{
    QFETCH(QList<int>, pushes);
    QFETCH(quint64, dropped);
    ScopeRing ring;
    std::vector<float> numbers(20000);
    std::iota(numbers.begin(), numbers.end(), 0.0f);
    int total = 0;
    for (int count : pushes) {
        ring.push(numbers.data() + total, count);
        total += count;
    }
    const int kept = std::min(total, ScopeRing::kSize - 1);
    QCOMPARE(ring.overflowCount(), dropped);
    QCOMPARE(ring.read(numbers.data(), ScopeRing::kSize), kept);
    QCOMPARE(numbers[0], float(total - kept));
    QCOMPARE(numbers[size_t(kept - 1)], float(total - 1));
}

void AudioScopeTest::freezeDropsWhatArrivesWhileHeld()
{
    UnifiedAudioScope scope;
    // Asking for none leaves one channel in the trace colour.
    scope.setChannelCount(3);
    scope.setChannelCount(0);
    scope.setFreezeOnPress(true);
    scope.show();
    const std::vector<float> loud(50, 0.9f);
    const auto pushAndDraw = [&](bool push) {
        scope.pushSamples(0, loud.data(), push ? 50 : 0);
        scope.refresh();
        return tracePixels(scope.image());
    };
    QTest::mousePress(&scope, Qt::LeftButton);
    QCOMPARE(pushAndDraw(true), 0);
    scope.pushSamples(0, loud.data(), 50);
    QTest::mouseRelease(&scope, Qt::LeftButton);
    QCOMPARE(pushAndDraw(false), 0);
    QCOMPARE(pushAndDraw(true), 50);
}

void AudioScopeTest::levelMeterFollowsAFullScaleSine_data()
{
    QTest::addColumn<QList<qint64>>("updates");
    QTest::addColumn<float>("peakHold");
    QTest::addColumn<float>("maxMarker");
    QTest::newRow("marker held to 500 ms") << QList<qint64> { 500 } << 0.75f << 1.0f;
    QTest::newRow("marker falls") << QList<qint64> { 501 } << 0.7495f << 0.998f;
    // 0.002, then 1.002^1.1 − 1, then 1.002^1.21 − 1.
    QTest::newRow("ever faster") << QList<qint64> { 501, 502, 503 } << 0.7485f << 0.9933793f;
    QTest::newRow("hold empty") << QList<qint64> { 2000, 2500 } << 0.0f << 0.9958f;
}

void AudioScopeTest::levelMeterFollowsAFullScaleSine()
{
    QFETCH(QList<qint64>, updates);
    QFETCH(float, peakHold);
    QFETCH(float, maxMarker);
    qint64 now = 0;
    UnifiedAudioScope scope;
    scope.setClock([&now] { return now; });
    scope.setMode(UnifiedAudioScope::Level);
    std::vector<float> sine(1024);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = float(std::sin(2.0 * M_PI * 441.0 * double(i) / 44100.0));
    for (int block = 0; block < 20; ++block) {
        scope.pushSamples(0, sine.data(), int(sine.size()));
        scope.refresh();
    }
    for (qint64 at : updates) {
        now = at;
        scope.refresh();
    }
    const LevelState& level = scope.channel(0).level;
    QVERIFY(std::abs(level.rms() - 0.70711f) < 0.01f);
    QVERIFY(std::abs(level.peakHold() - peakHold) < 1e-5f);
    QVERIFY(std::abs(level.maxMarker() - maxMarker) < 1e-5f);
}

// Channel i of three, the spectrogram at level x, the meter at level x.
void AudioScopeTest::colours_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<double>("x");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("channel 1 of 3") << 0 << 0.0 << QColor::fromHsv(75, 220, 220);
    QTest::newRow("channel 2 of 3") << 0 << 1.0 << QColor::fromHsv(120, 220, 220);
    QTest::newRow("channel 3 of 3") << 0 << 2.0 << QColor::fromHsv(165, 220, 220);
    QTest::newRow("spectrogram 0.25") << 1 << 0.25 << QColor(0, 0, 180);
    QTest::newRow("spectrogram 0.375") << 1 << 0.375 << QColor(0, 127, 217);
    QTest::newRow("spectrogram 0.5") << 1 << 0.5 << QColor(0, 255, 255);
    QTest::newRow("spectrogram 0.75") << 1 << 0.75 << QColor(255, 255, 0);
    QTest::newRow("spectrogram 1") << 1 << 1.0 << QColor(255, 255, 255);
    QTest::newRow("level 0.25") << 2 << 0.25 << QColor(126, 150, 0);
    QTest::newRow("level 0.5") << 2 << 0.5 << QColor(253, 220, 0);
    QTest::newRow("level 1") << 2 << 1.0 << QColor(248, 89, 0);
}

void AudioScopeTest::colours()
{
    QFETCH(int, table);
    QFETCH(double, x);
    QFETCH(QColor, colour);
    UnifiedAudioScope scope;
    scope.setChannelCount(3);
    const QColor colours[] = { scope.channel(int(x)).colour, scopeDrawing::spectrogramColour(x),
        scopeDrawing::levelColour(x) };
    QCOMPARE(colours[table], colour);
}

void AudioScopeTest::popsOutAndBackToItsPlace()
{
    QWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    layout->addWidget(new QLabel(QStringLiteral("above")));
    auto* scope = new UnifiedAudioScope;
    layout->addWidget(scope);
    layout->addWidget(new QLabel(QStringLiteral("below")));
    parent.show();
    scope->setPopOutEnabled(true);
    const std::function<void()> restorers[]
        = { [&] { QTest::mouseDClick(scope, Qt::LeftButton); }, [&] { scope->close(); } };
    for (const auto& restore : restorers) {
        QTest::mouseDClick(scope, Qt::LeftButton);
        QVERIFY(scope->isPoppedOut() && scope->isWindow() && scope->isVisible());
        QCOMPARE(scope->windowTitle(), QStringLiteral("Audio Scope"));
        const QPointer<QLabel> placeholder = qobject_cast<QLabel*>(layout->itemAt(1)->widget());
        QCOMPARE(placeholder ? placeholder->text() : QString(),
            QStringLiteral("Popped out — double-click to restore"));
        restore();
        QVERIFY(!scope->isPoppedOut() && !scope->isWindow() && scope->isVisible());
        QCOMPARE(layout->indexOf(scope), 1);
        QVERIFY(placeholder.isNull());
    }
}

void AudioScopeTest::connectionScopeListensWithoutEditingTheSong()
{
    const SongPointer song = Song::createNewSong(16);
    const GraphPointer graph = song->graph;
    const zarn::NodePointer output = graph->nodes.first();
    const zarn::NodePointer osc = zarn::Node::create(QStringLiteral("Osc"), song);
    graph->addNode(osc);
    osc->setPosition({ 100, 100 });
    output->setPosition({ 300, 200 });
    QVERIFY(graph->connect(osc, output).ok);
    song->untaint(QStringLiteral("test"));
    graph->changed = false;
    ConnectionScope window;
    QSignalSpy graphChanged(&window, &ConnectionScope::graphChanged);
    window.attach(graph, graph->connectionBetween(osc, output));
    window.attach(graph, graph->connectionBetween(osc, output));
    const zarn::NodePointer probe = window.scopeNode();
    QVERIFY(probe && graph->connectionBetween(osc, probe));
    QCOMPARE(graph->nodes.size(), 3);
    QCOMPARE(probe->position, QPointF(200, 150));
    QVERIFY(window.isVisible() && graph->changed && !song->changed);
    QCOMPARE(graphChanged.count(), 3);
    std::vector<double> block(64, 0.5);
    AudioContext context;
    context.frames = block.size();
    context.data = block.data();
    probe->processor->process(context);
    probe->processor->process(context);
    window.refresh();
    window.refresh();
    QCOMPARE(window.scope()->channel(0).ring->available(), 64);
    window.scope()->setMode(UnifiedAudioScope::Level);
    window.scope()->refresh();
    QCOMPARE(window.scope()->channel(0).level.peakHold(), 0.5f);
    // Playing from the start gives the node a new processor whose count starts again.
    probe->renewProcessor();
    probe->processor->process(context);
    window.refresh();
    QCOMPARE(window.scope()->channel(0).ring->available(), 64);
    window.close();
    QVERIFY(!window.isVisible() && !window.scopeNode());
    QVERIFY(!graph->nodes.contains(probe) && !song->changed);
    QCOMPARE(graph->connections.size(), 1);
    QCOMPARE(graphChanged.count(), 4);
}

QTEST_MAIN(AudioScopeTest)
#include "tst_audio_scope.moc"
