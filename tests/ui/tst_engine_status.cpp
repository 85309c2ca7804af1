#include "ui/status/EngineStatusWidget.h"

#include <QImage>
#include <QtTest>

// The colour in the middle (invalid under the render letter); the tool tip's last lines.
struct Light {
    bool arrived;
    EngineStatus status;
    bool render;
    QColor colour;
    const char* toolTip;
};

class EngineStatusTest : public QObject {
    Q_OBJECT

private slots:
    void lightFollowsTheStatus_data();
    void lightFollowsTheStatus();
};

void EngineStatusTest::lightFollowsTheStatus_data()
{
    QTest::addColumn<Light>("light");
    const QColor gray(Qt::gray), green(34, 204, 34), amber(221, 170, 0), red(221, 34, 34);
    QTest::newRow("no status yet") << Light { false, {}, true, gray, "" };
    QTest::newRow("running, clean")
        << Light { true, { .running = true }, false, green, "Mode: Live" };
    QTest::newRow("running, rounded") << Light { true,
        { .buffers = 1234, .underruns = 7, .lastMs = 3.14159, .peakMs = 12.5, .running = true },
        false, amber, "Buffers: 1234\nUnderruns: 7\nLast: 3.14 ms\nPeak: 12.50 ms\nMode: Live" };
    QTest::newRow("running, 99 underruns")
        << Light { true, { .underruns = 99, .running = true }, false, amber, "Mode: Live" };
    QTest::newRow("running, 100 underruns")
        << Light { true, { .underruns = 100, .running = true }, false, red, "Mode: Live" };
    QTest::newRow("running, beyond 32 bits") << Light { true,
        { .buffers = 5000000000, .underruns = 4294967296, .running = true }, false, red,
        "Buffers: 5000000000\nUnderruns: 4294967296\nLast: 0.00 ms\nPeak: 0.00 ms\nMode: Live" };
    QTest::newRow("stopped, 50 underruns")
        << Light { true, { .underruns = 50 }, false, gray, "Mode: Live" };
    QTest::newRow("running, render, rounding up") << Light { true,
        { .buffers = 20, .underruns = 100, .lastMs = 0.126, .peakMs = 99.999, .running = true },
        true, QColor(),
        "Buffers: 20\nUnderruns: 100\nLast: 0.13 ms\nPeak: 100.00 ms\nMode: Render" };
}

// The mode is switched after the status: in Render mode no status comes, so the toggle
// alone must bring the light and its tool tip up to date, both ways.
void EngineStatusTest::lightFollowsTheStatus()
{
    QFETCH(Light, light);
    EngineStatusWidget widget;
    widget.setRenderMode(!light.render);
    if (light.arrived)
        widget.updateStatus(light.status);
    widget.setRenderMode(light.render);
    const QString toolTip = QString::fromLatin1(light.toolTip);
    QCOMPARE(widget.toolTip().section('\n', -1 - int(toolTip.count('\n'))), toolTip);
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (light.colour.isValid())
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), light.colour);
}

QTEST_MAIN(EngineStatusTest)
#include "tst_engine_status.moc"
