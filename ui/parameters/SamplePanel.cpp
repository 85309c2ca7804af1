#include "ui/parameters/SamplePanel.h"

#include "ui/parameters/ParameterView.h"
#include "ui/parameters/SampleLoader.h"
#include "ui/parameters/SampleWaveform.h"
#include "ui/undo/SampleCommand.h"
#include "ui/undo/SongHistory.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

SamplePanel::SamplePanel(const zarn::NodePointer& node, SongHistory* history, QWidget* parent)
    : QWidget(parent)
    , m_node(node)
    , m_loader(new SampleLoader(
          this, [history = QPointer<SongHistory>(history)] { return history.data(); }))
    , m_name(new QLabel(this))
    , m_length(new QLabel(this))
    , m_waveform(new SampleWaveform(this))
{
    setObjectName(QStringLiteral("samplePanel"));
    m_name->setObjectName(QStringLiteral("labelSampleName"));
    m_length->setObjectName(QStringLiteral("labelSampleLength"));
    auto* load = new QPushButton(tr("Load Sample..."), this);
    load->setObjectName(QStringLiteral("pushButtonLoadSample"));
    load->setAutoDefault(false);
    // One file at a time: the button waits for the load it started.
    connect(load, &QPushButton::clicked, this, [this, load] {
        m_loader->chooseFor(m_node);
        load->setEnabled(!m_loader->busy());
    });
    connect(m_loader, &SampleLoader::finished, load, [load] { load->setEnabled(true); });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_name, 0, 0);
    layout->addWidget(m_length, 0, 1);
    layout->addWidget(load, 0, 2);
    layout->addWidget(m_waveform, 1, 0, 1, 3);
    layout->setColumnStretch(0, 1);

    refresh();
    connect(&m_refresh, &QTimer::timeout, this, &SamplePanel::refresh);
    m_refresh.start(ParameterView::kRefreshMs);
}

bool SamplePanel::shows(const zarn::Node& node)
{
    return SampleLoader::takes(node);
}

void SamplePanel::refresh()
{
    const Sample sample = SampleCommand::sampleOf(*m_node);
    if (sample.frames.constData() == m_shown.frames.constData() && sample.name == m_shown.name
        && !m_name->text().isEmpty())
        return;
    m_shown = sample;
    m_name->setText(sample.isEmpty() ? tr("No sample") : sample.name);
    m_length->setText(
        tr("%1 s (%2 frames)").arg(sample.seconds(), 0, 'f', 2).arg(sample.frames.size()));
    m_waveform->setFrames(sample.frames);
}
