#include "ui/export/ExportDialog.h"

#include "song/Graph.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/render/RenderOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

struct FormatChoice {
    const char* text;
    wav::SampleFormat format;
};
constexpr FormatChoice kFormats[] = {
    { "16-bit integer", wav::SampleFormat::Int16 },
    { "24-bit integer", wav::SampleFormat::Int24 },
    { "32-bit float", wav::SampleFormat::Float32 },
};

const QString kWavSuffix = QStringLiteral(".wav");
constexpr double kDefaultSeconds = 30.0;
constexpr int kProgressSteps = 1000;

QString speedText(double speed)
{
    // Below ten times real time a decimal still says something.
    return QObject::tr("%1x real time").arg(speed, 0, 'f', speed < 10.0 ? 1 : 0);
}

} // namespace

const QString ExportDialog::kTitle = QStringLiteral("Export");

ExportDialog::ExportDialog(QWidget* parent)
    : QDialog(parent)
    , m_path(new QLineEdit(this))
    , m_browse(new QPushButton(tr("Browse..."), this))
    , m_sequence(new QRadioButton(tr("The sequence, begin to end"), this))
    , m_loop(new QRadioButton(tr("The loop"), this))
    , m_seconds(new QRadioButton(tr("Seconds from the begin:"), this))
    , m_secondsBox(new QDoubleSpinBox(this))
    , m_format(new QComboBox(this))
    , m_perOutput(new QCheckBox(tr("One file per Output node"), this))
    , m_progress(new QProgressBar(this))
    , m_speed(new QLabel(this))
    , m_export(new QPushButton(tr("Export"), this))
    , m_cancelButton(new QPushButton(tr("Cancel"), this))
{
    setWindowTitle(kTitle);
    chooseFile = [](QWidget* parent, const QString& suggestion) {
        return QFileDialog::getSaveFileName(
            parent, tr("Export to WAV"), suggestion, tr("WAV Files (*.wav)"));
    };
    warn = messageBoxes::warner(this);
    ask = messageBoxes::questioner(this);

    m_path->setObjectName(QStringLiteral("lineEditFile"));
    m_browse->setObjectName(QStringLiteral("pushButtonBrowse"));
    m_sequence->setObjectName(QStringLiteral("radioButtonSequence"));
    m_loop->setObjectName(QStringLiteral("radioButtonLoop"));
    m_seconds->setObjectName(QStringLiteral("radioButtonSeconds"));
    m_secondsBox->setObjectName(QStringLiteral("doubleSpinBoxSeconds"));
    m_format->setObjectName(QStringLiteral("comboBoxFormat"));
    m_perOutput->setObjectName(QStringLiteral("checkBoxPerOutput"));
    m_progress->setObjectName(QStringLiteral("progressBarExport"));
    m_speed->setObjectName(QStringLiteral("labelSpeed"));
    m_export->setObjectName(QStringLiteral("pushButtonStartExport"));
    m_cancelButton->setObjectName(QStringLiteral("pushButtonCancel"));

    m_secondsBox->setRange(0.1, render::Options::kMaxSeconds);
    m_secondsBox->setDecimals(1);
    m_secondsBox->setValue(kDefaultSeconds);
    for (const FormatChoice& choice : kFormats)
        m_format->addItem(tr(choice.text), int(choice.format));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
    m_export->setDefault(true);
    m_browse->setAutoDefault(false);
    m_cancelButton->setAutoDefault(false);
    layOut();

    connect(m_browse, &QPushButton::clicked, this, &ExportDialog::browse);
    connect(m_export, &QPushButton::clicked, this, &ExportDialog::startExport);
    connect(m_cancelButton, &QPushButton::clicked, this, &ExportDialog::reject);
    connect(m_seconds, &QRadioButton::toggled, m_secondsBox, &QWidget::setEnabled);
    connect(m_path, &QLineEdit::textEdited, this, [this] { m_browsedPath.clear(); });
}

ExportDialog::~ExportDialog()
{
    // The render holds no reference to the dialog beyond this wait.
    if (m_thread) {
        *m_cancel = true;
        m_thread->wait();
    }
}

void ExportDialog::layOut()
{
    auto* file = new QHBoxLayout;
    file->addWidget(m_path, 1);
    file->addWidget(m_browse);
    auto* seconds = new QHBoxLayout;
    seconds->addWidget(m_seconds);
    seconds->addWidget(m_secondsBox);
    seconds->addStretch();
    auto* range = new QVBoxLayout;
    range->addWidget(m_sequence);
    range->addWidget(m_loop);
    range->addLayout(seconds);
    auto* form = new QFormLayout;
    form->addRow(tr("File:"), file);
    form->addRow(tr("Range:"), range);
    form->addRow(tr("Format:"), m_format);
    form->addRow(QString(), m_perOutput);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_speed, 1);
    buttons->addWidget(m_export);
    buttons->addWidget(m_cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
}

void ExportDialog::setSong(const SongPointer& song)
{
    m_song = song;
    refreshChoices();
}

void ExportDialog::suggestPath(const QString& path)
{
    if (m_path->text().isEmpty())
        m_path->setText(path);
}

void ExportDialog::showEvent(QShowEvent* event)
{
    refreshChoices();
    QDialog::showEvent(event);
}

void ExportDialog::refreshChoices()
{
    if (!m_song || !m_song->sequencer)
        return;
    const Position& position = m_song->sequencer->position;
    const struct {
        QRadioButton* button;
        bool possible;
        QString missing;
    } ranges[] = {
        { m_sequence, exportSpan(position, ExportRange::Sequence, 0.0).has_value(),
            tr("The song has no sequence end after its begin") },
        { m_loop, exportSpan(position, ExportRange::Loop, 0.0).has_value(),
            tr("The song has no sequence end after its loop begin") },
    };
    for (const auto& r : ranges) {
        r.button->setEnabled(r.possible && !busy());
        r.button->setToolTip(r.possible ? QString() : r.missing);
    }
    if (!m_sequence->isChecked() && !m_loop->isChecked() && !m_seconds->isChecked())
        (m_sequence->isEnabled() ? m_sequence : m_seconds)->setChecked(true);
    if (!ranges[0].possible && m_sequence->isChecked())
        m_seconds->setChecked(true);
    if (!ranges[1].possible && m_loop->isChecked())
        m_seconds->setChecked(true);
    m_secondsBox->setEnabled(m_seconds->isChecked() && !busy());

    const bool several = m_song->graph && m_song->graph->outputNodes().size() > 1;
    m_perOutput->setEnabled(several && !busy());
    if (!several)
        m_perOutput->setChecked(false);
    m_perOutput->setToolTip(several ? tr("Also write each Output node's own signal, beside the mix")
                                    : tr("The song has one Output node: the export is its signal"));
}

ExportRange ExportDialog::range() const
{
    if (m_loop->isChecked())
        return ExportRange::Loop;
    return m_seconds->isChecked() ? ExportRange::Seconds : ExportRange::Sequence;
}

void ExportDialog::browse()
{
    const QString chosen = chooseFile(this, m_path->text());
    if (chosen.isEmpty())
        return;
    m_path->setText(chosen);
    m_browsedPath = chosen;
}

QString ExportDialog::confirmedPath()
{
    QString path = m_path->text().trimmed();
    if (path.isEmpty()) {
        warn(kTitle, tr("Choose a file to export to."));
        return QString();
    }
    if (!path.endsWith(kWavSuffix, Qt::CaseInsensitive))
        path += kWavSuffix;
    path = QFileInfo(path).absoluteFilePath();
    const QFileInfo existing(path);
    if (existing.isFile() && path != m_browsedPath
        && !ask(kTitle, tr("\"%1\" exists. Replace it?").arg(QDir::toNativeSeparators(path))))
        return QString();
    return path;
}

void ExportDialog::startExport()
{
    if (busy() || !m_song || !m_song->sequencer)
        return;
    refreshChoices();
    const std::optional<ExportSpan> span
        = exportSpan(m_song->sequencer->position, range(), m_secondsBox->value());
    if (!span) {
        warn(kTitle, tr("The song has no such range to export."));
        return;
    }
    ExportRequest request;
    request.path = confirmedPath();
    if (request.path.isEmpty())
        return;
    request.song = songfile::encode(*m_song);
    request.span = *span;
    request.format = wav::SampleFormat(m_format->currentData().toInt());
    request.perOutput = m_perOutput->isChecked();

    m_cancel = std::make_shared<std::atomic_bool>(false);
    const auto report = [this](const ExportProgress& progress) {
        QMetaObject::invokeMethod(
            this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
    };
    m_thread.reset(QThread::create([this, request, cancel = m_cancel, report] {
        const ExportResult result = exportWav(request, *cancel, report);
        QMetaObject::invokeMethod(
            this, [this, result] { finishExport(result); }, Qt::QueuedConnection);
    }));
    m_thread->setObjectName(QStringLiteral("wav-export"));
    setBusy(true);
    m_thread->start(QThread::LowPriority);
}

void ExportDialog::cancelExport()
{
    if (m_cancel)
        *m_cancel = true;
}

void ExportDialog::reject()
{
    if (busy())
        cancelExport();
    else
        QDialog::reject();
}

void ExportDialog::setBusy(bool busy)
{
    for (QWidget* input : { static_cast<QWidget*>(m_path), static_cast<QWidget*>(m_browse),
             static_cast<QWidget*>(m_format), static_cast<QWidget*>(m_export) })
        input->setEnabled(!busy);
    m_progress->setValue(0);
    m_speed->setText(busy ? tr("Rendering...") : QString());
    refreshChoices();
}

void ExportDialog::showProgress(const ExportProgress& progress)
{
    if (progress.total > 0)
        m_progress->setValue(int(progress.done * kProgressSteps / progress.total));
    m_speed->setText(speedText(progress.speed));
}

void ExportDialog::finishExport(const ExportResult& result)
{
    m_thread->wait();
    m_thread.reset();
    m_cancel.reset();
    const QString speed = m_speed->text();
    setBusy(false);
    switch (result.outcome) {
    case ExportResult::Outcome::Written:
        m_progress->setValue(kProgressSteps);
        m_speed->setText(speed);
        break;
    case ExportResult::Outcome::Cancelled:
        m_speed->setText(tr("Cancelled"));
        break;
    case ExportResult::Outcome::Failed:
        warn(kTitle,
            tr("Could not write \"%1\":\n%2\nNothing was exported.")
                .arg(QDir::toNativeSeparators(result.failedFile), result.reason));
        break;
    }
    emit exported(result);
}
