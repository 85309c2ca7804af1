#include "processors/filters/FilterProcessor.h"

#include <QtTest>

#include <cmath>

namespace {

using Filter = Biquad<double>;
using Row = QList<quint32>;

constexpr quint32 kNoType = 0xFF;
constexpr quint32 kNoFrequency = 0xFFFF;
constexpr quint32 kNoResonance = 0xFF;
constexpr int kBlock = 256;

// The lanes' scales, from their documented ranges.
double cutoffOf(quint32 v)
{
    return 20.0 * std::pow(10.0, 3.0 * v / 65534.0);
}
double qOf(quint32 v)
{
    return v / 254.0 * 19.9 + 0.1;
}

QList<double> noise(int count, quint32 seed)
{
    QList<double> out;
    for (int n = 0; n < count; ++n) {
        seed = seed * 1664525u + 1013904223u;
        out.append(double(seed) / 4294967296.0 - 0.5);
    }
    return out;
}

QList<double> render(FilterProcessor& p, QList<double> block)
{
    AudioContext context;
    context.frames = quint64(block.size());
    context.data = block.data();
    p.process(context);
    return block;
}

QList<double> render(Filter& f, const QList<double>& block)
{
    QList<double> out;
    for (const double x : block)
        out.append(f.process(x));
    return out;
}

void apply(FilterProcessor& p, const Row& row, quint32 serial)
{
    p.applyRow(row.constData(), int(row.size()), serial);
}

void compareBlocks(const QList<double>& actual, const QList<double>& expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        QVERIFY2(std::abs(actual[i] - expected[i]) < 1e-12,
            qPrintable(
                QString("sample %1: %2, expected %3").arg(i).arg(actual[i]).arg(expected[i])));
}

// Before any row the filter passes its input unchanged.
Filter untouched()
{
    return Filter();
}

Filter designed(int type, double hz, double q)
{
    Filter f(44100.0, type, hz / 44100.0, q);
    f.computeCoefficients();
    return f;
}

} // namespace

Q_DECLARE_METATYPE(Filter)

class FilterTest : public QObject {
    Q_OBJECT

private slots:
    void schemaMatchesTheTable_data();
    void schemaMatchesTheTable();
    void firstRowSetsTheFilter_data();
    void firstRowSetsTheFilter();
    void typesPastSixSelectTheHighShelf_data();
    void typesPastSixSelectTheHighShelf();
    void newSettingsKeepTheState();
    void repeatedSerialIsIgnored();
    void switchingOffClearsTheState_data();
    void switchingOffClearsTheState();
    void switchingOffAFreshFilterDesignsIt();
};

void FilterTest::schemaMatchesTheTable_data()
{
    QTest::addColumn<int>("lane");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QList<quint32>>("numbers"); // minimum maximum empty default

    QTest::newRow("Type") << 0 << "Type"
                          << "Filter type (0=LP 1=HP 2=BP 3=Notch 4=Peak 5=LS 6=HS)"
                          << quint32(ValueType::Byte) << QList<quint32> { 0, 6, 255, 0 };
    QTest::newRow("Frequency") << 1 << "Frequency"
                               << "Filter cutoff frequency (20-20000 Hz)"
                               << quint32(ValueType::Word)
                               << QList<quint32> { 0, 65534, 65535, 32767 };
    QTest::newRow("Resonance") << 2 << "Resonance"
                               << "Filter resonance / Q factor" << quint32(ValueType::Byte)
                               << QList<quint32> { 0, 254, 255, 9 };
}

void FilterTest::schemaMatchesTheTable()
{
    QFETCH(int, lane);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(quint32, type);
    QFETCH(QList<quint32>, numbers);

    const auto schema = FilterProcessor(44100).schema();
    QCOMPARE(schema->nodeParameters.size(), 3);
    QVERIFY(schema->trackParameters.isEmpty());
    const auto p = schema->nodeParameters.at(lane);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(p->type, type);
    QCOMPARE((QList<quint32> { p->minimum, p->maximum, p->empty, p->defaultValue }), numbers);
    QCOMPARE(p->flag, quint8(0));
}

// A fresh processor passes its input until a row makes it design a filter, which shows
// whether a row recomputed anything.
void FilterTest::firstRowSetsTheFilter_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<Filter>("expected");

    QTest::newRow("type repeated, others empty")
        << Row { 0, kNoFrequency, kNoResonance } << untouched();
    QTest::newRow("all empty") << Row { kNoType, kNoFrequency, kNoResonance } << untouched();
    QTest::newRow("empty in the high word bits")
        << Row { kNoType, 0x1FFFF, kNoResonance } << untouched();
    QTest::newRow("type only, repeated") << Row { 0 } << untouched();
    QTest::newRow("no lanes") << Row {} << untouched();
    QTest::newRow("type changes") << Row { 1, kNoFrequency, kNoResonance }
                                  << designed(Filter::HighPass, 1000.0, 0.707);
    QTest::newRow("lowest frequency")
        << Row { kNoType, 0, kNoResonance } << designed(Filter::LowPass, 20.0, 0.707);
    QTest::newRow("default frequency") << Row { kNoType, 32767, kNoResonance }
                                       << designed(Filter::LowPass, cutoffOf(32767), 0.707);
    // 20 kHz is 0.4535 of the rate, inside the clamp.
    QTest::newRow("highest frequency")
        << Row { kNoType, 65534, kNoResonance } << designed(Filter::LowPass, 20000.0, 0.707);
    QTest::newRow("lowest resonance")
        << Row { kNoType, kNoFrequency, 0 } << designed(Filter::LowPass, 1000.0, 0.1);
    QTest::newRow("default resonance")
        << Row { 0, kNoFrequency, 9 } << designed(Filter::LowPass, 1000.0, qOf(9));
    QTest::newRow("highest resonance")
        << Row { 2, 40000, 254 } << designed(Filter::BandPass, cutoffOf(40000), 20.0);
}

void FilterTest::firstRowSetsTheFilter()
{
    QFETCH(Row, row);
    QFETCH(Filter, expected);

    FilterProcessor p(44100);
    apply(p, row, 1);
    const QList<double> input = noise(kBlock, 7);
    compareBlocks(render(p, input), render(expected, input));
}

void FilterTest::typesPastSixSelectTheHighShelf_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("type");
    QTest::newRow("6") << quint32(6) << 6;
    QTest::newRow("7") << quint32(7) << 6;
    QTest::newRow("100") << quint32(100) << 6;
    QTest::newRow("254") << quint32(254) << 6;
    QTest::newRow("255 is empty") << quint32(255) << 3;
}

void FilterTest::typesPastSixSelectTheHighShelf()
{
    QFETCH(quint32, value);
    QFETCH(int, type);

    FilterProcessor p(44100);
    apply(p, { 3, 20000, 30 }, 1);
    apply(p, { value, kNoFrequency, kNoResonance }, 2);
    QCOMPARE(p.filter().type, type);
    // The shelf's gain has no lane and stays 0 dB, so the node then passes its input,
    // where the notch it replaced did not.
    Filter expected = designed(type, cutoffOf(20000), qOf(30));
    const QList<double> input = noise(kBlock, 11);
    compareBlocks(render(p, input), render(expected, input));
}

void FilterTest::newSettingsKeepTheState()
{
    FilterProcessor p(44100);
    Filter expected = designed(Filter::LowPass, cutoffOf(20000), qOf(40));
    apply(p, { 0, 20000, 40 }, 1);
    const QList<double> first = noise(kBlock, 3);
    compareBlocks(render(p, first), render(expected, first));

    apply(p, { 1, 45000, kNoResonance }, 2);
    expected.type = Filter::HighPass;
    expected.frequency = cutoffOf(45000) / 44100.0;
    expected.computeCoefficients();
    const QList<double> second = noise(kBlock, 4);
    compareBlocks(render(p, second), render(expected, second));
}

void FilterTest::repeatedSerialIsIgnored()
{
    FilterProcessor p(44100);
    apply(p, { 1, kNoFrequency, kNoResonance }, 5);
    apply(p, { 2, 100, 200 }, 5);
    Filter expected = designed(Filter::HighPass, 1000.0, 0.707);
    const QList<double> input = noise(kBlock, 5);
    compareBlocks(render(p, input), render(expected, input));
}

void FilterTest::switchingOffClearsTheState_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<bool>("useReset");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("off") << 0 << false << true;
    QTest::newRow("even flag is off") << 2 << false << true;
    QTest::newRow("on") << 1 << false << false;
    QTest::newRow("odd flag is on") << 3 << false << false;
    QTest::newRow("reset") << 0 << true << true;
}

void FilterTest::switchingOffClearsTheState()
{
    QFETCH(int, flag);
    QFETCH(bool, useReset);
    QFETCH(bool, cleared);

    FilterProcessor p(44100);
    apply(p, { 0, 25000, 100 }, 1);
    render(p, noise(kBlock, 9));
    if (useReset)
        p.reset();
    else
        QCOMPARE(p.setActive(flag), flag);

    // A cleared filter stays silent without input and answers an impulse from rest.
    const QList<double> silence = render(p, QList<double>(kBlock, 0.0));
    QCOMPARE(silence.count(0.0) == kBlock, cleared);
    if (cleared) {
        QList<double> impulse(kBlock, 0.0);
        impulse[0] = 1.0;
        Filter expected = designed(Filter::LowPass, cutoffOf(25000), qOf(100));
        compareBlocks(render(p, impulse), render(expected, impulse));
    }
}

void FilterTest::switchingOffAFreshFilterDesignsIt()
{
    FilterProcessor p(44100);
    p.setActive(0);
    Filter expected = designed(Filter::LowPass, 1000.0, 0.707);
    const QList<double> input = noise(kBlock, 13);
    compareBlocks(render(p, input), render(expected, input));
}

QTEST_GUILESS_MAIN(FilterTest)
#include "tst_filter.moc"
