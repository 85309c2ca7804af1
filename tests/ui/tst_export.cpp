#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SongRender.h"
#include "ui/export/ExportDialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sndfile.h>

#include <algorithm>

namespace {

struct WavFile {
    QList<double> samples;
    QString title, artist, comment;
};

WavFile readBack(const QString& path)
{
    WavFile wav;
    SF_INFO info {};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return wav;
    wav.samples.resize(info.frames);
    wav.samples.resize(sf_read_double(file, wav.samples.data(), info.frames));
    const auto text = [file](int id) { return QString::fromUtf8(sf_get_string(file, id)); };
    wav.title = text(SF_STR_TITLE);
    wav.artist = text(SF_STR_ARTIST);
    wav.comment = text(SF_STR_COMMENT);
    sf_close(file);
    return wav;
}

// What zarn-render makes of the song as saved: the same span, the same block steps.
QList<double> renderedBy(const SongPointer& live, quint64 frames)
{
    const SongPointer song = Song::createEmpty();
    songfile::decode(song, songfile::encode(*live));
    render::SongRender session(song, quint64(render::Options::kDefaultBlock), { frames, false });
    QList<double> samples;
    while (!session.done())
        for (qsizetype i = 0, n = session.next(); i < n; ++i)
            samples.append(session.data()[i]);
    return samples;
}

SongPointer firstSong()
{
    const SongPointer song = Song::createEmpty();
    if (!loadSong(song, QStringLiteral(ZARN_EXAMPLES_DIR "/first-song.zarn")))
        return {};
    song->tags.insert(QStringLiteral("Title"), QStringLiteral("First Song"));
    song->tags.insert(QStringLiteral("Artist"), QStringLiteral("Zo\u00eb"));
    song->tags.insert(QStringLiteral("Comment"), QStringLiteral("exported"));
    return song;
}

template <class T> T* child(const ExportDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT

private slots:
    void exportsWhatZarnRenderRenders_data();
    void exportsWhatZarnRenderRenders();
    void leavesNoFileBehind_data();
    void leavesNoFileBehind();

private:
    QTemporaryDir m_dir;
};

void ExportTest::exportsWhatZarnRenderRenders_data()
{
    QTest::addColumn<int>("formatIndex");
    QTest::addColumn<int>("bits"); // 0 for float
    QTest::addColumn<QString>("range");
    QTest::addColumn<bool>("secondOutput");
    QTest::newRow("16-bit, the sequence") << 0 << 16 << "radioButtonSequence" << false;
    QTest::newRow("16-bit, the loop") << 0 << 16 << "radioButtonLoop" << false;
    QTest::newRow("24-bit, 2 seconds") << 1 << 24 << "radioButtonSeconds" << false;
    QTest::newRow("float, a file per output") << 2 << 0 << "radioButtonSeconds" << true;
}

// The file holds zarn-render's frames of the song as saved: integers within one step of
// their level, where full scale is 2^(bits-1) - 1 and libsndfile reads back over 2^(bits-1);
// floats exactly. The title, artist and comment read back as tags. A second, unconnected
// Output halves the mix, so the first output's own file holds twice the mix and the second
// output's holds silence.
void ExportTest::exportsWhatZarnRenderRenders()
{
    QFETCH(int, formatIndex);
    QFETCH(int, bits);
    QFETCH(QString, range);
    QFETCH(bool, secondOutput);
    const SongPointer song = firstSong();
    QVERIFY(song);
    if (secondOutput) {
        const zarn::NodePointer second = zarn::Node::create(QStringLiteral("Output"), song);
        second->setName(QStringLiteral("Second/Out"));
        song->graph->addNode(second);
    }
    Position& position = song->sequencer->position;
    // The loop runs from its begin to the sequence end, once.
    const bool loop = range == "radioButtonLoop";
    if (loop)
        position.loopBegin.sample = position.sequenceEnd.sample / 2;
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".wav");
    ExportDialog dialog;
    dialog.setSong(song);
    dialog.show();
    child<QLineEdit>(dialog, "lineEditFile")->setText(path);
    child<QRadioButton>(dialog, qPrintable(range))->setChecked(true);
    child<QDoubleSpinBox>(dialog, "doubleSpinBoxSeconds")->setValue(2.0);
    child<QComboBox>(dialog, "comboBoxFormat")->setCurrentIndex(formatIndex);
    QCOMPARE(child<QCheckBox>(dialog, "checkBoxPerOutput")->isEnabled(), secondOutput);
    child<QCheckBox>(dialog, "checkBoxPerOutput")->setChecked(secondOutput);
    QSignalSpy exported(&dialog, &ExportDialog::exported);
    child<QAbstractButton>(dialog, "pushButtonStartExport")->click();
    QVERIFY(exported.wait(120000));
    const auto result = exported.takeFirst().at(0).value<ExportResult>();
    QCOMPARE(result.outcome, ExportResult::Outcome::Written);

    if (loop) {
        position.sequenceBegin = position.loopBegin;
        position.looping = false;
    }
    const quint64 frames = range == "radioButtonSeconds"
        ? 2 * 44100
        : quint64(position.sequenceEnd.sample - position.sequenceBegin.sample);
    const QList<double> expected = renderedBy(song, frames);
    QCOMPARE(quint64(expected.size()), frames);
    const WavFile wav = readBack(path);
    QCOMPARE(wav.samples.size(), expected.size());
    const double step = bits ? 1.0 / double(1 << (bits - 1)) : 0.0;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const double level
            = bits ? std::clamp(expected[i], -1.0, 1.0) * (1.0 - step) : double(float(expected[i]));
        QVERIFY2(std::abs(wav.samples[i] - level) <= step, qPrintable(QString::number(i)));
    }
    QCOMPARE(wav.title, QStringLiteral("First Song"));
    QCOMPARE(wav.artist, QStringLiteral("Zo\u00eb"));
    QCOMPARE(wav.comment, QStringLiteral("exported"));

    const QString stem = path.chopped(4);
    const QStringList files { path, stem + "-Output.wav", stem + "-Second_Out.wav" };
    QCOMPARE(result.files, secondOutput ? files : files.mid(0, 1));
    if (!secondOutput)
        return;
    const WavFile first = readBack(files[1]), second = readBack(files[2]);
    QCOMPARE(first.samples.size(), wav.samples.size());
    QCOMPARE(second.samples, QList<double>(wav.samples.size(), 0.0));
    for (qsizetype i = 0; i < wav.samples.size(); ++i)
        QCOMPARE(first.samples[i], 2.0 * wav.samples[i]);
}

void ExportTest::leavesNoFileBehind_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cancelled mid-render") << "song.wav" << true << "";
    // Write permission does not stop root, a missing folder does.
    QTest::newRow("folder is a file") << "plain/song.wav" << false << "";
    QTest::newRow("target is a folder") << "folder.wav" << false << "not a regular file";
}

// Nothing appears beside what was there, not even a temporary file; a refusal names the
// file and the reason.
void ExportTest::leavesNoFileBehind()
{
    QFETCH(QString, target);
    QFETCH(bool, cancel);
    QFETCH(QString, reason);
    const QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly) && QDir(dir.path()).mkdir("folder.wav"));
    const SongPointer song = firstSong();
    QVERIFY(song);
    ExportDialog dialog;
    QStringList warnings;
    dialog.warn = [&](const QString&, const QString& text) { warnings.append(text); };
    dialog.setSong(song);
    dialog.show();
    child<QLineEdit>(dialog, "lineEditFile")->setText(dir.filePath(target));
    child<QRadioButton>(dialog, "radioButtonSeconds")->setChecked(true);
    child<QDoubleSpinBox>(dialog, "doubleSpinBoxSeconds")->setValue(render::Options::kMaxSeconds);
    QSignalSpy exported(&dialog, &ExportDialog::exported);
    child<QAbstractButton>(dialog, "pushButtonStartExport")->click();
    if (cancel) {
        QTRY_VERIFY(child<QLabel>(dialog, "labelSpeed")->text().endsWith("x real time"));
        child<QAbstractButton>(dialog, "pushButtonCancel")->click();
    }
    QVERIFY(exported.wait(120000));
    const auto result = exported.takeFirst().at(0).value<ExportResult>();
    QCOMPARE(
        result.outcome, cancel ? ExportResult::Outcome::Cancelled : ExportResult::Outcome::Failed);
    QVERIFY(dialog.isVisible());
    const QStringList left
        = QDir(dir.path())
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDir::Name);
    QCOMPARE(left, QStringList({ "folder.wav", "plain" }));
    QCOMPARE(warnings.size(), cancel ? 0 : 1);
    if (cancel)
        return;
    QVERIFY(!result.reason.isEmpty() && result.reason.contains(reason));
    QVERIFY2(warnings[0].contains(dir.filePath(target)) && warnings[0].contains(result.reason),
        qPrintable(warnings[0]));
}

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
