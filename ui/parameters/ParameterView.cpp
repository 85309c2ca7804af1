#include "ui/parameters/ParameterView.h"

#include "song/Clipboard.h"
#include "song/PatternClipboard.h"
#include "ui/Logging.h"
#include "ui/parameters/ParameterWidget.h"
#include "ui/parameters/PresetPanel.h"
#include "ui/parameters/SamplePanel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr QSize kInitialSize { 460, 520 };
constexpr quint32 kByteMask = 0xFF;
constexpr quint32 kWordMask = 0xFFFF;

QString recordText()
{
    return ParameterView::tr("Record parameters");
}

QString titleOf(const zarn::NodePointer& node)
{
    return node ? ParameterView::tr("Parameters for Node %1 (%2)").arg(node->name, node->uniqueID)
                : ParameterView::tr("No Node");
}

ProcessorPointer processorOf(const zarn::NodePointer& node)
{
    return node ? node->processor : ProcessorPointer();
}

// Spreads r evenly over the masked minimum..maximum without a division.
quint32 scaled(quint32 r, const ParameterDescriptor& p, quint32 mask)
{
    const qint64 low = p.minimum & mask;
    const qint64 span = qint64(p.maximum & mask) - low + 1;
    return quint32(low + ((qint64(r) * span) >> 32)) & mask;
}

quint32 randomValue(const ParameterDescriptor& p, quint32 r)
{
    switch (p.valueType()) {
    case ValueType::Switch:
        return r >> 31;
    case ValueType::Byte:
        return scaled(r, p, kByteMask);
    case ValueType::Word:
        return scaled(r, p, kWordMask);
    default:
        return 0;
    }
}

} // namespace

ParameterView::ParameterView(
    const zarn::NodePointer& node, const SongPointer& song, SongHistory* history, QWidget* parent)
    : QWidget(parent, Qt::Tool)
    , currentPattern([node] { return node ? node->patterns.value(0) : PatternPointer(); })
    , m_node(node)
    , m_recording(song, history, recordText())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ParameterView"));
    setWindowTitle(titleOf(node));

    layOut();
    // A sampler shows its sample between the title and the tabs.
    if (node && SamplePanel::shows(*node))
        qobject_cast<QVBoxLayout*>(layout())->insertWidget(1, new SamplePanel(node, history, this));
    resize(kInitialSize);
    bindRows();
    m_recording.currentPattern
        = [this] { return currentPattern ? currentPattern() : PatternPointer(); };
    connect(&m_refresh, &QTimer::timeout, this, &ParameterView::refresh);
    m_refresh.start(kRefreshMs);
}

ParameterView::~ParameterView()
{
    m_recording.finish();
}

void ParameterView::layOut()
{
    m_title = new QLabel(windowTitle(), this);
    m_title->setObjectName(QStringLiteral("labelTitle"));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("pushButtonClose"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* top = new QHBoxLayout;
    top->addWidget(m_title, 1);
    top->addWidget(close);

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabWidget"));
    tabs->addTab(parametersTab(), tr("Parameters"));
    const int presets = tabs->addTab(presetsTab(), tr("Presets"));
    tabs->setTabEnabled(presets, m_presets != nullptr);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabs);
}

QWidget* ParameterView::parametersTab()
{
    struct Button {
        const char* name;
        QString text;
        QString tip;
        void (ParameterView::*slot)();
    };
    const Button buttons[] = {
        { "pushButtonCopy", tr("Copy"), {}, &ParameterView::copy },
        { "pushButtonRandomize", tr("Randomize"), {}, &ParameterView::randomize },
        { "pushButtonDefaults", tr("Defaults"), tr("Set all parameters to their default values"),
            &ParameterView::defaults },
        { "pushButtonReset", tr("Reset"),
            tr("Reset internal state (clear buffers/filters) without changing parameters"),
            &ParameterView::reset },
    };
    auto* page = new QWidget;
    auto* bar = new QHBoxLayout;
    for (const Button& b : buttons) {
        auto* button = new QPushButton(b.text, page);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setToolTip(b.tip);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, b.slot);
        bar->addWidget(button);
    }
    bar->addStretch();

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("scrollAreaContents"));
    m_rowLayout = new QVBoxLayout(content);
    m_empty = new QLabel(tr("Empty"), content);
    m_empty->setObjectName(QStringLiteral("labelEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_rowLayout->addWidget(m_empty);
    auto* scroll = new QScrollArea(page);
    scroll->setObjectName(QStringLiteral("scrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(bar);
    layout->addWidget(scroll);
    return page;
}

QWidget* ParameterView::presetsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    if (processorOf(m_node)) {
        m_presets = new PresetPanel([node = m_node] { return processorOf(node); }, page);
        layout->addWidget(m_presets);
        connect(m_presets, &PresetPanel::applied, this, &ParameterView::refresh);
    }
    return page;
}

void ParameterView::bindRows()
{
    const ProcessorPointer processor = processorOf(m_node);
    const SchemaPointer schema = processor ? processor->schema() : SchemaPointer();
    if (schema) {
        processor->ensureValueCache();
        const QList<quint32>& values = processor->nodeValues;
        for (int i = 0; i < schema->nodeParameters.size(); ++i) {
            const ParameterPointer& p = schema->nodeParameters.at(i);
            if (!p || p->isPlayed())
                continue;
            auto* row = new ParameterWidget(m_empty->parentWidget());
            row->bind(p, i, i < values.size() ? values.at(i) : p->defaultValue);
            connect(row, &ParameterWidget::valueChanged, this, &ParameterView::setParameter);
            m_rowLayout->addWidget(row);
            m_rows.append(row);
        }
    }
    m_rowLayout->addStretch();
    m_empty->setVisible(m_rows.isEmpty());
}

void ParameterView::setParameter(int index, quint32 value)
{
    if (const ProcessorPointer processor = processorOf(m_node)) {
        processor->setNodeParameter(index, value);
        m_recording.write(
            m_node, currentPattern ? currentPattern() : PatternPointer(), index, value);
    }
}

void ParameterView::refresh()
{
    // A pass ends with the transport or when another pattern becomes the current one.
    m_recording.endUnless(currentPattern ? currentPattern() : PatternPointer());
    // A renamed node shows its new name.
    if (const QString title = titleOf(m_node); title != windowTitle()) {
        setWindowTitle(title);
        m_title->setText(title);
    }
    const ProcessorPointer processor = processorOf(m_node);
    if (!processor)
        return;
    // A processor renewed by playing from the start has not filled its values yet.
    processor->ensureValueCache();
    for (ParameterWidget* row : std::as_const(m_rows))
        row->display(processor->nodeValues.value(row->index(), 0));
}

void ParameterView::copy()
{
    const ProcessorPointer processor = processorOf(m_node);
    const SchemaPointer schema = processor ? processor->schema() : SchemaPointer();
    if (!schema || schema->nodeParameters.isEmpty())
        return;
    PatternBlock block;
    block.processorId = processor->instanceId();
    block.tickCount = 1;
    for (int i = 0; i < schema->nodeParameters.size(); ++i) {
        const ParameterPointer& p = schema->nodeParameters.at(i);
        const quint32 value = processor->nodeValues.value(i, 0);
        block.columns.append({ p ? p->name : QString(), p ? qint32(p->type) : 0, true, i, 0 });
        block.cells.append({ p && value != p->empty, value });
    }
    clipboard::place(clipboard::wrap(QString::fromLatin1(PatternBlock::kMimeType), block.encode()));
}

void ParameterView::randomize()
{
    const ProcessorPointer processor = processorOf(m_node);
    const SchemaPointer schema = processor ? processor->schema() : SchemaPointer();
    if (!schema)
        return;
    for (int i = 0; i < schema->nodeParameters.size(); ++i) {
        const ParameterPointer& p = schema->nodeParameters.at(i);
        if (p && !p->isPlayed())
            processor->setNodeParameter(i, randomValue(*p, QRandomGenerator::global()->generate()));
    }
    refresh();
}

void ParameterView::defaults()
{
    const ProcessorPointer processor = processorOf(m_node);
    const SchemaPointer schema = processor ? processor->schema() : SchemaPointer();
    if (!schema)
        return;
    for (int i = 0; i < schema->nodeParameters.size(); ++i)
        if (const ParameterPointer& p = schema->nodeParameters.at(i))
            processor->setNodeParameter(i, p->defaultValue);
    refresh();
}

void ParameterView::reset()
{
    if (const ProcessorPointer processor = processorOf(m_node))
        processor->reset();
}

// The preset buttons live in the panel; without a processor there is none.
void ParameterView::toPresets(void (PresetPanel::*slot)())
{
    if (m_presets)
        (m_presets->*slot)();
}

void ParameterView::updatePreset()
{
    toPresets(&PresetPanel::updatePreset);
}

void ParameterView::addPreset()
{
    toPresets(&PresetPanel::add);
}

void ParameterView::deletePreset()
{
    toPresets(&PresetPanel::remove);
}

void ParameterView::importPreset()
{
    toPresets(&PresetPanel::importPreset);
}

void ParameterView::exportPreset()
{
    toPresets(&PresetPanel::exportPreset);
}

void ParameterView::closeEvent(QCloseEvent* event)
{
    qCDebug(lcUi) << "Closing parameter window";
    m_refresh.stop();
    m_recording.finish();
    QWidget::closeEvent(event);
}
