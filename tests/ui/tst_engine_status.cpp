#include "ui/status/EngineStatusWidget.h"

#include <QImage>
#include <QtTest>

namespace {

constexpr QColor kGreen { 34, 204, 34 };
constexpr QColor kAmber { 221, 170, 0 };
constexpr QColor kRed { 221, 34, 34 };

EngineStatus status(bool running, quint64 underruns)
{
    EngineStatus s;
    s.running = running;
    s.underruns = underruns;
    return s;
}

QImage picture(EngineStatusWidget& light)
{
    return light.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor centre(EngineStatusWidget& light)
{
    const QImage image = picture(light);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// White pixels well inside the light, away from the antialiased rim and the background.
int whitePixels(EngineStatusWidget& light)
{
    const QImage image = picture(light);
    const QPointF middle(image.width() / 2.0, image.height() / 2.0);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QPointF d = QPointF(x + 0.5, y + 0.5) - middle;
            const QColor c = image.pixelColor(x, y);
            if (d.x() * d.x() + d.y() * d.y() < 5.5 * 5.5 && c.red() > 230 && c.green() > 230
                && c.blue() > 230)
                ++count;
        }
    return count;
}

} // namespace

class EngineStatusTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void grayAndSilentBeforeTheFirstStatus();
    void colourFollowsUnderruns_data();
    void colourFollowsUnderruns();
    void toolTipCarriesTheNumbers_data();
    void toolTipCarriesTheNumbers();
    void letterOnlyWhileRunningInRenderMode_data();
    void letterOnlyWhileRunningInRenderMode();
    void renderModeShowsAtOnce();

private:
    std::unique_ptr<EngineStatusWidget> m_light;
};

void EngineStatusTest::init()
{
    m_light = std::make_unique<EngineStatusWidget>();
    m_light->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_light.get()));
}

void EngineStatusTest::cleanup()
{
    m_light.reset();
}

void EngineStatusTest::grayAndSilentBeforeTheFirstStatus()
{
    QVERIFY(m_light->toolTip().isEmpty());
    QCOMPARE(centre(*m_light), QColor(Qt::gray));
    m_light->setRenderMode(true);
    QVERIFY(m_light->toolTip().isEmpty());
    QCOMPARE(whitePixels(*m_light), 0);
}

void EngineStatusTest::colourFollowsUnderruns_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<quint64>("underruns");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("running, clean") << true << quint64(0) << kGreen;
    QTest::newRow("running, one underrun") << true << quint64(1) << kAmber;
    QTest::newRow("running, 99 underruns") << true << quint64(99) << kAmber;
    QTest::newRow("running, 100 underruns") << true << quint64(100) << kRed;
    QTest::newRow("running, a great many") << true << (quint64(1) << 40) << kRed;
    QTest::newRow("stopped, 50 underruns") << false << quint64(50) << QColor(Qt::gray);
    QTest::newRow("stopped, 100 underruns") << false << quint64(100) << QColor(Qt::gray);
}

void EngineStatusTest::colourFollowsUnderruns()
{
    QFETCH(bool, running);
    QFETCH(quint64, underruns);
    QFETCH(QColor, colour);
    m_light->updateStatus(status(running, underruns));
    QCOMPARE(centre(*m_light), colour);
}

void EngineStatusTest::toolTipCarriesTheNumbers_data()
{
    QTest::addColumn<quint64>("buffers");
    QTest::addColumn<quint64>("underruns");
    QTest::addColumn<double>("lastMs");
    QTest::addColumn<double>("peakMs");
    QTest::addColumn<bool>("render");
    QTest::addColumn<QString>("text");
    QTest::newRow("zeros, live") << quint64(0) << quint64(0) << 0.0 << 0.0 << false
                                 << "Buffers: 0\nUnderruns: 0\nLast: 0.00 ms\nPeak: 0.00 ms\nMode: "
                                    "Live";
    QTest::newRow("rounded, render")
        << quint64(1234) << quint64(7) << 3.14159 << 12.5 << true
        << "Buffers: 1234\nUnderruns: 7\nLast: 3.14 ms\nPeak: 12.50 ms\nMode: Render";
    QTest::newRow("rounding up") << quint64(20) << quint64(100) << 0.126 << 99.999 << false
                                 << "Buffers: 20\nUnderruns: 100\nLast: 0.13 ms\nPeak: 100.00 "
                                    "ms\nMode: Live";
    QTest::newRow("beyond 32 bits")
        << quint64(5000000000) << quint64(4294967296) << 1.0 << 2.0 << false
        << "Buffers: 5000000000\nUnderruns: 4294967296\nLast: 1.00 ms\nPeak: 2.00 ms\nMode: Live";
}

void EngineStatusTest::toolTipCarriesTheNumbers()
{
    QFETCH(quint64, buffers);
    QFETCH(quint64, underruns);
    QFETCH(double, lastMs);
    QFETCH(double, peakMs);
    QFETCH(bool, render);
    QFETCH(QString, text);
    m_light->setRenderMode(render);
    EngineStatus s = status(true, underruns);
    s.buffers = buffers;
    s.lastMs = lastMs;
    s.peakMs = peakMs;
    m_light->updateStatus(s);
    QCOMPARE(m_light->toolTip(), text);
}

void EngineStatusTest::letterOnlyWhileRunningInRenderMode_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("render");
    QTest::addColumn<bool>("letter");
    QTest::newRow("running, render") << true << true << true;
    QTest::newRow("running, live") << true << false << false;
    QTest::newRow("stopped, render") << false << true << false;
    QTest::newRow("stopped, live") << false << false << false;
}

void EngineStatusTest::letterOnlyWhileRunningInRenderMode()
{
    QFETCH(bool, running);
    QFETCH(bool, render);
    QFETCH(bool, letter);
    m_light->setRenderMode(render);
    m_light->updateStatus(status(running, 0));
    QCOMPARE(whitePixels(*m_light) > 0, letter);
}

// In Render mode no status comes, so the toggle alone must bring the light up to date.
void EngineStatusTest::renderModeShowsAtOnce()
{
    m_light->updateStatus(status(true, 0));
    QVERIFY(m_light->toolTip().endsWith(QStringLiteral("Mode: Live")));
    QCOMPARE(whitePixels(*m_light), 0);

    m_light->setRenderMode(true);
    QVERIFY(whitePixels(*m_light) > 0);
    QVERIFY(m_light->toolTip().endsWith(QStringLiteral("Mode: Render")));

    m_light->setRenderMode(false);
    QCOMPARE(whitePixels(*m_light), 0);
    QVERIFY(m_light->toolTip().endsWith(QStringLiteral("Mode: Live")));
}

QTEST_MAIN(EngineStatusTest)
#include "tst_engine_status.moc"
