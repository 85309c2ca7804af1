#include "core/DataStream.h"

#include <QPointF>
#include <QTest>

#include <functional>

namespace {

QByteArray written(const std::function<void(QDataStream&)>& write)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    datastream::prepare(out);
    write(out);
    return bytes;
}

QByteArray raw(const char* bytes, int size)
{
    return QByteArray(bytes, size);
}

} // namespace

class DataStreamTest : public QObject {
    Q_OBJECT

private slots:
    void encodings_data();
    void encodings();
    void readCharString_data();
    void readCharString();
    void plausibleCount_data();
    void plausibleCount();
};

void DataStreamTest::encodings_data()
{
    QTest::addColumn<QByteArray>("actual");
    QTest::addColumn<QByteArray>("expected");

    // 1.5 = 1.1b x 2^0: exponent 0x3FF, top mantissa bit set.
    QTest::newRow("float is written as a double")
        << written([](QDataStream& s) { s << 1.5f; }) << raw("\x3F\xF8\x00\x00\x00\x00\x00\x00", 8);
    QTest::newRow("point is two doubles")
        << written([](QDataStream& s) { s << QPointF(1.0, -2.0); })
        << raw("\x3F\xF0\x00\x00\x00\x00\x00\x00"
               "\xC0\x00\x00\x00\x00\x00\x00\x00",
               16);
    QTest::newRow("char string counts its zero")
        << written([](QDataStream& s) { datastream::writeCharString(s, "pattern"); })
        << raw("\x00\x00\x00\x08pattern\x00", 12);
    QTest::newRow("empty char string is the zero alone")
        << written([](QDataStream& s) { datastream::writeCharString(s, ""); })
        << raw("\x00\x00\x00\x01\x00", 5);
    QTest::newRow("null string") << written([](QDataStream& s) { s << QString(); })
                                 << raw("\xFF\xFF\xFF\xFF", 4);
    QTest::newRow("empty string") << written([](QDataStream& s) { s << QString(""); })
                                  << raw("\x00\x00\x00\x00", 4);
    QTest::newRow("string is UTF-16 big-endian")
        << written([](QDataStream& s) { s << QStringLiteral("Ab"); })
        << raw("\x00\x00\x00\x04\x00\x41\x00\x62", 8);
}

void DataStreamTest::encodings()
{
    QFETCH(QByteArray, actual);
    QFETCH(QByteArray, expected);
    QCOMPARE(actual.toHex(' '), expected.toHex(' '));
}

void DataStreamTest::readCharString_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("status");

    QTest::newRow("well formed") << raw("\x00\x00\x00\x05mute\x00", 9) << QByteArray("mute")
                                 << int(QDataStream::Ok);
    QTest::newRow("zero count") << raw("\x00\x00\x00\x00", 4) << QByteArray()
                                << int(QDataStream::Ok);
    QTest::newRow("count past the data")
        << raw("\x00\x00\x00\x08pa", 6) << QByteArray() << int(QDataStream::ReadCorruptData);
    QTest::newRow("hostile count")
        << raw("\xFF\xFF\xFF\xF0", 4) << QByteArray() << int(QDataStream::ReadCorruptData);
    QTest::newRow("truncated count")
        << raw("\x00\x00", 2) << QByteArray() << int(QDataStream::ReadPastEnd);
}

void DataStreamTest::readCharString()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, text);
    QFETCH(int, status);

    QDataStream in(bytes);
    datastream::prepare(in);
    QCOMPARE(datastream::readCharString(in), text);
    QCOMPARE(int(in.status()), status);
}

void DataStreamTest::plausibleCount_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("alreadyRead");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("minBytes");
    QTest::addColumn<bool>("plausible");
    QTest::addColumn<int>("status");

    const int ok = QDataStream::Ok;
    const int corrupt = QDataStream::ReadCorruptData;
    QTest::newRow("exactly fits") << 8 << 0 << qint64(2) << qint64(4) << true << ok;
    QTest::newRow("one record too many") << 8 << 0 << qint64(3) << qint64(4) << false << corrupt;
    QTest::newRow("only the unread bytes count")
        << 8 << 4 << qint64(2) << qint64(4) << false << corrupt;
    QTest::newRow("zero records") << 0 << 0 << qint64(0) << qint64(4) << true << ok;
    QTest::newRow("negative count") << 8 << 0 << qint64(-1) << qint64(1) << false << corrupt;
    QTest::newRow("huge count") << 64 << 0 << (qint64(1) << 62) << qint64(29) << false << corrupt;
    QTest::newRow("stream already past its end")
        << 2 << 4 << qint64(0) << qint64(1) << false << int(QDataStream::ReadPastEnd);
}

void DataStreamTest::plausibleCount()
{
    QFETCH(int, size);
    QFETCH(int, alreadyRead);
    QFETCH(qint64, count);
    QFETCH(qint64, minBytes);
    QFETCH(bool, plausible);
    QFETCH(int, status);

    const QByteArray bytes(size, '\0');
    QDataStream in(bytes);
    datastream::prepare(in);
    QByteArray skipped(alreadyRead, '\0');
    if (in.readRawData(skipped.data(), alreadyRead) != alreadyRead)
        in.setStatus(QDataStream::ReadPastEnd);

    QCOMPARE(datastream::plausibleCount(in, count, minBytes), plausible);
    QCOMPARE(int(in.status()), status);
}

QTEST_GUILESS_MAIN(DataStreamTest)
#include "tst_datastream.moc"
