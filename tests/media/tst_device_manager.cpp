#include "PulseControl.h"
#include "media/devices/DeviceManager.h"

#include <QSignalSpy>
#include <QtTest>

using media::devices::DeviceManager;

namespace {

// What the test script's server calls its null sink.
const QString kSinkName = QStringLiteral("zarn_null");

QStringList descriptions(const QList<QAudioDevice>& devices)
{
    QStringList texts;
    for (const QAudioDevice& device : devices)
        texts.append(device.description());
    return texts;
}

} // namespace

class DeviceManagerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void findsTheNullSink();
    void exactIdWinsOverAnEqualDescription();
    void announcesASinkComingAndGoing();
    void workerLookupsShareTheMainThreadCache();

private:
    QAudioDevice m_sink;
};

void DeviceManagerTest::initTestCase()
{
    // Before the main thread has looked, a worker's lookup is refused with a warning and
    // finds nothing.
    QTest::ignoreMessage(QtWarningMsg,
        "DeviceManager::initializeAudio called off the main thread before any main-thread "
        "initialization — skipping (lookups see an empty device cache until the main thread "
        "initializes)");
    int seen = -1;
    QThread* early
        = QThread::create([&seen] { seen = int(DeviceManager::instance().audioOutputs().size()); });
    early->start();
    QVERIFY(early->wait(5000));
    delete early;
    QCOMPARE(seen, 0);

    if (!pulse::serverAnswers())
        QSKIP("No PulseAudio server answers (scripts/test starts one); device tests skipped");
    for (const QAudioDevice& device : DeviceManager::instance().audioOutputs())
        if (device.id() == kSinkName.toUtf8())
            m_sink = device;
    if (m_sink.isNull())
        QSKIP("The server has no null sink named zarn_null; device tests skipped");
}

void DeviceManagerTest::findsTheNullSink()
{
    DeviceManager& manager = DeviceManager::instance();
    const QString hex = DeviceManager::hexId(m_sink);
    QCOMPARE(hex, QString::fromLatin1(kSinkName.toUtf8().toHex()));
    QCOMPARE(manager.findAudioOutput(hex).id(), m_sink.id());
    QCOMPARE(manager.findAudioOutput(m_sink.description()).id(), m_sink.id());
    // A remembered description that drifted a little still finds it.
    QCOMPARE(
        manager.findAudioOutput(m_sink.description() + QStringLiteral(" 2")).id(), m_sink.id());
    QVERIFY(manager.findAudioOutput(QStringLiteral("no such device at all, really")).isNull());
    QVERIFY(manager.findAudioOutput(QString()).isNull());
    // The source the test server feeds from the sink's monitor is an input.
    QVERIFY(!manager.findAudioInput(QByteArray("zarn_record").toHex()).isNull());
}

void DeviceManagerTest::exactIdWinsOverAnEqualDescription()
{
    // A second null sink without a description of its own is described like the first.
    const int module = pulse::loadNullSink(QStringLiteral("zarn_twin"));
    QVERIFY(module >= 0);
    DeviceManager& manager = DeviceManager::instance();
    QTRY_COMPARE(descriptions(manager.audioOutputs()).count(m_sink.description()), 2);
    const QString twin = QString::fromLatin1(QByteArray("zarn_twin").toHex());
    QCOMPARE(manager.findAudioOutput(twin).id(), QByteArray("zarn_twin"));
    QCOMPARE(manager.findAudioOutput(DeviceManager::hexId(m_sink)).id(), m_sink.id());
    QVERIFY(pulse::unloadModule(module));
    QTRY_COMPARE(descriptions(manager.audioOutputs()).count(m_sink.description()), 1);
}

void DeviceManagerTest::announcesASinkComingAndGoing()
{
    DeviceManager& manager = DeviceManager::instance();
    QSignalSpy outputs(&manager, &DeviceManager::audioOutputsChanged);
    QSignalSpy devices(&manager, &DeviceManager::devicesChanged);
    QList<QByteArray> order;
    connect(
        &manager, &DeviceManager::audioOutputsChanged, this, [&order] { order.append("outputs"); });
    connect(&manager, &DeviceManager::devicesChanged, this, [&order] { order.append("devices"); });

    const int module
        = pulse::loadNullSink(QStringLiteral("zarn_extra"), QStringLiteral("ZarnExtra"));
    QVERIFY(module >= 0);
    QTRY_VERIFY(outputs.count() >= 1);
    QTest::qWait(300); // a second notice for the same change must not follow
    QCOMPARE(outputs.count(), 1);
    QVERIFY(!manager.findAudioOutput(QStringLiteral("ZarnExtra")).isNull());
    QCOMPARE(order.mid(0, 2), QList<QByteArray>({ "outputs", "devices" }));

    QVERIFY(pulse::unloadModule(module));
    QTRY_VERIFY(outputs.count() >= 2);
    QTest::qWait(300);
    QCOMPARE(outputs.count(), 2);
    QVERIFY(manager.findAudioOutput(QByteArray("zarn_extra").toHex()).isNull());
    // Qt lists no monitors, so the inputs did not change.
    QCOMPARE(devices.count(), 2);
    disconnect(&manager, nullptr, this, nullptr);
}

// Once the main thread has initialised the manager, workers look devices up in its cache.
void DeviceManagerTest::workerLookupsShareTheMainThreadCache()
{
    QAudioDevice found;
    QThread* worker = QThread::create([&found, this] {
        found = DeviceManager::instance().findAudioOutput(DeviceManager::hexId(m_sink));
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QCOMPARE(found.id(), m_sink.id());
}

QTEST_GUILESS_MAIN(DeviceManagerTest)
#include "tst_device_manager.moc"
