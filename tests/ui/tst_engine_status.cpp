#include "ui/status/EngineStatusWidget.h"

#include <QImage>
#include <QtTest>

class EngineStatusTest : public QObject {
    Q_OBJECT

private slots:
    void lightFollowsTheStatus_data();
    void lightFollowsTheStatus();
};

void EngineStatusTest::lightFollowsTheStatus_data()
{
    QTest::addColumn<bool>("arrived"); // false: no status has come yet
    QTest::addColumn<EngineStatus>("status");
    QTest::addColumn<bool>("render");
    QTest::addColumn<QColor>("colour"); // in the middle; invalid where the render letter is
    QTest::addColumn<QString>("toolTip"); // its last lines
    const QColor gray(Qt::gray), green(34, 204, 34), amber(221, 170, 0), red(221, 34, 34);
    const auto row = [](const char* name, bool arrived, EngineStatus status, bool render,
                         const QColor& colour, const char* toolTip) {
        QTest::newRow(name) << arrived << status << render << colour
                            << QString::fromLatin1(toolTip);
    };
    row("no status yet", false, {}, true, gray, "");
    row("running, clean", true, { .running = true }, false, green, "Mode: Live");
    row("running, rounded", true,
        { .buffers = 1234, .underruns = 7, .lastMs = 3.14159, .peakMs = 12.5, .running = true },
        false, amber, "Buffers: 1234\nUnderruns: 7\nLast: 3.14 ms\nPeak: 12.50 ms\nMode: Live");
    row("running, 99 underruns", true, { .underruns = 99, .running = true }, false, amber,
        "Mode: Live");
    row("running, 100 underruns", true, { .underruns = 100, .running = true }, false, red,
        "Mode: Live");
    row("running, beyond 32 bits", true,
        { .buffers = 5000000000, .underruns = 4294967296, .running = true }, false, red,
        "Buffers: 5000000000\nUnderruns: 4294967296\nLast: 0.00 ms\nPeak: 0.00 ms\nMode: Live");
    row("stopped, 50 underruns", true, { .underruns = 50 }, false, gray, "Mode: Live");
    row("stopped, render", true, {}, true, gray, "Mode: Render");
    row("running, render, rounding up", true,
        { .buffers = 20, .underruns = 100, .lastMs = 0.126, .peakMs = 99.999, .running = true },
        true, QColor(),
        "Buffers: 20\nUnderruns: 100\nLast: 0.13 ms\nPeak: 100.00 ms\nMode: Render");
}

// The mode is switched after the status: in Render mode no status comes, so the toggle
// alone must bring the light and its tool tip up to date, both ways.
void EngineStatusTest::lightFollowsTheStatus()
{
    QFETCH(bool, render);
    QFETCH(QString, toolTip);
    QFETCH(QColor, colour);
    EngineStatusWidget light;
    light.setRenderMode(!render);
    QFETCH(bool, arrived);
    if (arrived) {
        QFETCH(EngineStatus, status);
        light.updateStatus(status);
    }
    light.setRenderMode(render);
    QCOMPARE(light.toolTip().section('\n', -1 - int(toolTip.count('\n'))), toolTip);
    const QImage image = light.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (colour.isValid())
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), colour);
}

QTEST_MAIN(EngineStatusTest)
#include "tst_engine_status.moc"
