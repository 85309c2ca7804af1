#include "ui/scopes/UnifiedAudioScope.h"

#include "media/audio/AudioInputNode.h"
#include "ui/Logging.h"
#include "ui/scopes/ScopeDrawing.h"

#include <QActionGroup>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cstring>

using namespace scopeDrawing;

namespace {

// What each mode is called where the user picks it, and how often it redraws.
struct ModeLook {
    const char* button;
    const char* menuText;
    const char* toolTip;
    int updateMs;
    // The grid layout has no waveform or spectrogram, so only the meter shows as chosen there.
    bool checkedInGrid;
};

const std::array<ModeLook, 3> kModes { {
    { QT_TRANSLATE_NOOP("UnifiedAudioScope", "Wave"),
        QT_TRANSLATE_NOOP("UnifiedAudioScope", "Waveform"),
        QT_TRANSLATE_NOOP(
            "UnifiedAudioScope", "Scrolling oscilloscope showing signal amplitude over time"),
        50, false },
    { QT_TRANSLATE_NOOP("UnifiedAudioScope", "Spectrum"),
        QT_TRANSLATE_NOOP("UnifiedAudioScope", "Spectrum"),
        QT_TRANSLATE_NOOP(
            "UnifiedAudioScope", "Scrolling spectrogram showing frequency content over time"),
        200, false },
    { QT_TRANSLATE_NOOP("UnifiedAudioScope", "Level"),
        QT_TRANSLATE_NOOP("UnifiedAudioScope", "Level"),
        QT_TRANSLATE_NOOP("UnifiedAudioScope", "VU meter showing RMS and peak signal level"), 75,
        true },
} };

constexpr char kPlaceholderText[]
    = QT_TRANSLATE_NOOP("UnifiedAudioScope", "Popped out — double-click to restore");
constexpr char kPlaceholderStyle[]
    = "background: #1a1a1a; color: #666; border: 1px dashed #444; font-size: 11px;";
constexpr char kWindowTitle[] = QT_TRANSLATE_NOOP("UnifiedAudioScope", "Audio Scope");
constexpr char kChannelLabel[] = QT_TRANSLATE_NOOP("UnifiedAudioScope", "Ch %1");

constexpr QSize kPoppedOutSize { 640, 360 };
constexpr QSize kSmallestImage { 16, 16 };
constexpr int kButtonHeight = 18;
constexpr int kHeaderMargin = 2;
const QColor kCentreLine { 40, 40, 40 };
const QColor kGridLine { 60, 60, 60 };
const QColor kMeterBackground { 34, 34, 34 };
const QColor kLabelColour { 255, 255, 255, 160 };
constexpr int kLabelPixelSize = 11;
constexpr QPoint kLabelOffset { 4, 14 };
constexpr int kPeakDarkening = 250;
// Levels below this draw nothing.
constexpr float kAudible = 0.001f;

QString translated(const char* text)
{
    return UnifiedAudioScope::tr(text);
}

void drawMeter(QPainter& painter, const QRect& bar, const LevelState& level)
{
    painter.fillRect(bar, kMeterBackground);
    if (level.peakHold() > kAudible)
        painter.fillRect(
            barFill(bar, level.peakHold()), levelColour(level.peakHold()).darker(kPeakDarkening));
    if (level.rms() > kAudible)
        painter.fillRect(barFill(bar, level.rms()), levelColour(level.rms()));
    if (level.maxMarker() > level.peakHold() && level.maxMarker() > kAudible)
        painter.fillRect(barMarker(bar, level.maxMarker()), levelColour(level.maxMarker()));
}

// One pixel wide, from row `from` to row `to` inclusive, in either order.
void paintColumn(QImage& image, int x, int from, int to, QRgb colour)
{
    for (int y = std::min(from, to); y <= std::max(from, to); ++y)
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

} // namespace

UnifiedAudioScope::UnifiedAudioScope(QWidget* parent)
    : QWidget(parent)
{
    m_header = createHeader();
    m_sinceStart.start();
    setClock({});
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_updateTimer.setSingleShot(true);
    connect(&m_updateTimer, &QTimer::timeout, this, &UnifiedAudioScope::refresh);
    m_analyserInput.reserve(ScopeRing::kSize);
    setChannelCount(1);
}

UnifiedAudioScope::~UnifiedAudioScope()
{
    m_capture.reset();
    delete m_placeholder.data();
}

QWidget* UnifiedAudioScope::createHeader()
{
    auto* header = new QWidget(this);
    header->setFixedHeight(kHeaderHeight);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    row->setSpacing(kHeaderMargin);
    m_modeButtons = new QButtonGroup(header);
    m_modeButtons->setExclusive(true);
    for (int mode = 0; mode < int(kModes.size()); ++mode) {
        auto* button = new QPushButton(translated(kModes[size_t(mode)].button), header);
        button->setCheckable(true);
        button->setFixedHeight(kButtonHeight);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(translated(kModes[size_t(mode)].toolTip));
        m_modeButtons->addButton(button, mode);
        row->addWidget(button);
    }
    row->addStretch();
    m_modeButtons->button(m_mode)->setChecked(true);
    connect(m_modeButtons, &QButtonGroup::idClicked, this, &UnifiedAudioScope::setMode);
    header->hide();
    return header;
}

// ---- settings -----------------------------------------------------------------------------

void UnifiedAudioScope::setChannelCount(int n)
{
    n = std::max(n, 1);
    if (n == channelCount())
        return;
    m_channels.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        ScopeChannel& channel = m_channels[size_t(i)];
        channel.resetState();
        channel.colour = channelColour(i, n);
        channel.fresh.reserve(ScopeRing::kSize);
        if (m_mode == Spectrum)
            channel.startSpectrum(kSampleRate);
    }
    rebuildLayout();
}

void UnifiedAudioScope::setMode(int mode)
{
    if (mode == m_mode || mode < 0 || mode >= int(kModes.size()))
        return;
    for (ScopeChannel& channel : m_channels) {
        if (mode == Spectrum)
            channel.startSpectrum(kSampleRate);
        else
            channel.stopSpectrum();
    }
    m_mode = mode;
    m_modeButtons->button(mode)->setChecked(true);
    rebuildLayout();
}

void UnifiedAudioScope::pushSamples(int channel, const float* samples, int count)
{
    if (channel < 0 || channel >= channelCount())
        return;
    m_channels[size_t(channel)].ring->push(samples, count);
}

void UnifiedAudioScope::setHeaderVisible(bool on)
{
    m_header->setVisible(on);
    rebuildLayout();
}

void UnifiedAudioScope::setFreezeOnPress(bool on)
{
    m_freezeOnPress = on;
    m_frozen = m_frozen && on;
}

void UnifiedAudioScope::setPopOutEnabled(bool on)
{
    m_popOutEnabled = on;
}

void UnifiedAudioScope::setGridLayout(bool on)
{
    m_gridLayout = on;
    rebuildLayout();
}

void UnifiedAudioScope::setShowLabels(bool on)
{
    m_showLabels = on;
}

void UnifiedAudioScope::setChannelName(int channel, const QString& name)
{
    if (channel >= 0 && channel < channelCount())
        m_channels[size_t(channel)].name = name;
}

void UnifiedAudioScope::resetChannels()
{
    for (ScopeChannel& channel : m_channels) {
        channel.ring->skipAll();
        channel.resetState();
    }
    rebuildLayout();
}

void UnifiedAudioScope::setClock(ScopeClock clock)
{
    m_clock = clock ? std::move(clock) : ScopeClock([this] { return m_sinceStart.elapsed(); });
}

// ---- layout -------------------------------------------------------------------------------

QRect UnifiedAudioScope::drawingArea() const
{
    const int top = m_header->isHidden() ? 0 : kHeaderHeight;
    return QRect(0, top, width(), std::max(0, height() - top));
}

void UnifiedAudioScope::rebuildLayout()
{
    m_image = QImage(
        (QSizeF(drawingArea().size()) * devicePixelRatio()).toSize().expandedTo(kSmallestImage),
        QImage::Format_RGB32);
    m_image.fill(kBackground);
    for (ScopeChannel& channel : m_channels) {
        channel.lastY = -1;
        if (m_mode == Spectrum)
            channel.clearHistory();
    }
    if (m_mode == Waveform) {
        QPainter painter(&m_image);
        drawGuides(painter, m_image.rect());
    }
}

// Grid lines on the last row and column of a cell, so a cell's scroll frees them to be redrawn.
void UnifiedAudioScope::drawGuides(QPainter& painter, const QRect& clip) const
{
    painter.save();
    painter.setClipRect(clip);
    const int n = channelCount();
    const bool grid = m_gridLayout && n > 1;
    const QSize size = m_image.size();
    if (grid) {
        const GridShape shape = gridShape(n);
        const int cellWidth = size.width() / shape.columns;
        const int cellHeight = size.height() / shape.rows;
        painter.setPen(kGridLine);
        for (int column = 1; column < shape.columns; ++column)
            painter.drawLine(column * cellWidth - 1, 0, column * cellWidth - 1, size.height() - 1);
        for (int row = 1; row < shape.rows; ++row)
            painter.drawLine(0, row * cellHeight - 1, size.width() - 1, row * cellHeight - 1);
    }
    painter.setPen(kCentreLine);
    for (int i = 0; i < n; ++i) {
        const QRect cell = channelCell(i, n, size, grid);
        const int y = cell.top() + cell.height() / 2;
        painter.drawLine(cell.left(), y, cell.right(), y);
    }
    painter.restore();
}

// ---- update -------------------------------------------------------------------------------

void UnifiedAudioScope::refresh()
{
    // A hidden scope inside another widget rests; showing it starts the timer again.
    if (parentWidget() && !isVisible())
        return;
    if (m_image.isNull())
        rebuildLayout();
    drainRings();
    if (!m_frozen) {
        static constexpr std::array kDraw { &UnifiedAudioScope::drawWaveform,
            &UnifiedAudioScope::drawSpectrum, &UnifiedAudioScope::drawLevels };
        (this->*kDraw[size_t(m_mode)])();
        if (m_gridLayout && m_showLabels)
            drawLabels();
        m_pixmap = QPixmap::fromImage(m_image);
        update();
    }
    scheduleNext();
}

void UnifiedAudioScope::scheduleNext()
{
    m_updateTimer.start(kModes[size_t(m_mode)].updateMs);
}

void UnifiedAudioScope::drainRings()
{
    for (ScopeChannel& channel : m_channels) {
        channel.fresh.resize(ScopeRing::kSize);
        channel.fresh.resize(size_t(channel.ring->read(channel.fresh.data(), ScopeRing::kSize)));
    }
}

void UnifiedAudioScope::drawWaveform()
{
    size_t newest = 0;
    for (const ScopeChannel& channel : m_channels)
        newest = std::max(newest, channel.fresh.size());
    const int columns = std::min(int(newest), m_image.width());
    if (columns == 0)
        return;
    const int n = channelCount();
    const bool grid = m_gridLayout && n > 1;
    for (int i = 0; i < n; ++i)
        scrollCell(channelCell(i, n, m_image.size(), grid), columns);
    QPainter painter(&m_image);
    for (int i = 0; i < n; ++i) {
        const QRect cell = channelCell(i, n, m_image.size(), grid);
        const int freed = std::min(columns, cell.width());
        drawGuides(painter, QRect(cell.right() + 1 - freed, cell.top(), freed, cell.height()));
    }
    painter.end();
    for (int i = 0; i < n; ++i)
        drawTrace(m_channels[size_t(i)], channelCell(i, n, m_image.size(), grid), columns);
}

// Moves the cell's picture left by `columns`, leaving background on the right.
void UnifiedAudioScope::scrollCell(const QRect& cell, int columns)
{
    const int kept = std::max(0, cell.width() - columns);
    const QRgb background = kBackground.rgb();
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(y)) + cell.left();
        std::memmove(line, line + (cell.width() - kept), size_t(kept) * sizeof(QRgb));
        std::fill(line + kept, line + cell.width(), background);
    }
}

// The channel's newest samples, oldest first, from the left of the freed columns.
void UnifiedAudioScope::drawTrace(ScopeChannel& channel, const QRect& cell, int columns)
{
    const int freed = std::min(columns, cell.width());
    const int count = std::min(int(channel.fresh.size()), freed);
    const int first = int(channel.fresh.size()) - count;
    const int left = cell.right() + 1 - freed;
    const int half = cell.height() / 2;
    const QRgb colour = channel.colour.rgb();
    for (int j = 0; j < count; ++j) {
        const float sample = std::clamp(channel.fresh[size_t(first + j)], -1.0f, 1.0f);
        const int y = std::clamp(cell.top() + half - int(sample * half), cell.top(), cell.bottom());
        paintColumn(m_image, left + j, channel.lastY < 0 ? y : channel.lastY, y, colour);
        channel.lastY = y;
    }
}

void UnifiedAudioScope::drawSpectrum()
{
    for (ScopeChannel& channel : m_channels) {
        if (!channel.analyser || channel.fresh.empty())
            continue;
        m_analyserInput.assign(channel.fresh.cbegin(), channel.fresh.cend());
        channel.analyser->run(m_analyserInput.data(), m_analyserInput.size());
    }
    ScopeChannel& first = m_channels.front();
    if (!first.analyser || first.history.isNull())
        return;
    const int column = first.historyColumn % ScopeChannel::kHistoryWidth;
    const int bins = std::min(first.analyser->bins(), ScopeChannel::kHistoryHeight);
    for (int k = 0; k < bins; ++k)
        first.history.setPixel(column, ScopeChannel::kHistoryHeight - 1 - k,
            spectrogramColour(spectrogramLevel(first.analyser->power(k))).rgb());
    first.historyColumn = (column + 1) % ScopeChannel::kHistoryWidth;
    first.historyCount = std::min(first.historyCount + 1, ScopeChannel::kHistoryWidth);
    QPainter painter(&m_image);
    drawHistory(painter, first, m_image.rect());
}

// Stretched over the target with the newest column at the right edge.
void UnifiedAudioScope::drawHistory(
    QPainter& painter, const ScopeChannel& channel, const QRect& target) const
{
    constexpr double kWidth = ScopeChannel::kHistoryWidth;
    constexpr double kHeight = ScopeChannel::kHistoryHeight;
    const double columnWidth = target.width() / kWidth;
    const QRectF area(target);
    if (channel.historyCount < ScopeChannel::kHistoryWidth) {
        painter.fillRect(target, kBackground);
        const double width = channel.historyCount * columnWidth;
        painter.drawImage(QRectF(area.right() - width, area.top(), width, area.height()),
            channel.history, QRectF(0, 0, channel.historyCount, kHeight));
        return;
    }
    const int split = channel.historyColumn;
    const double olderWidth = (kWidth - split) * columnWidth;
    painter.drawImage(QRectF(area.left(), area.top(), olderWidth, area.height()), channel.history,
        QRectF(split, 0, kWidth - split, kHeight));
    painter.drawImage(
        QRectF(area.left() + olderWidth, area.top(), area.width() - olderWidth, area.height()),
        channel.history, QRectF(0, 0, split, kHeight));
}

void UnifiedAudioScope::drawLevels()
{
    const qint64 now = m_clock();
    m_image.fill(kBackground);
    QPainter painter(&m_image);
    const int n = channelCount();
    for (int i = 0; i < n; ++i) {
        ScopeChannel& channel = m_channels[size_t(i)];
        channel.level.feed(channel.fresh.data(), int(channel.fresh.size()), now);
        drawMeter(painter, levelBar(i, n, m_image.size(), m_gridLayout && n > 1), channel.level);
    }
}

void UnifiedAudioScope::drawLabels()
{
    QPainter painter(&m_image);
    QFont font = painter.font();
    font.setPixelSize(kLabelPixelSize);
    painter.setFont(font);
    painter.setPen(kLabelColour);
    const int n = channelCount();
    for (int i = 0; i < n; ++i) {
        const QString& name = m_channels[size_t(i)].name;
        painter.drawText(channelCell(i, n, m_image.size(), true).topLeft() + kLabelOffset,
            name.isEmpty() ? translated(kChannelLabel).arg(i + 1) : name);
    }
}

// ---- events -------------------------------------------------------------------------------

void UnifiedAudioScope::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = drawingArea();
    // The header's buttons do not cover its whole width.
    painter.fillRect(QRect(0, 0, width(), area.top()), kBackground);
    if (m_pixmap.isNull())
        painter.fillRect(area, kBackground);
    else
        painter.drawPixmap(area, m_pixmap);
}

void UnifiedAudioScope::resizeEvent(QResizeEvent*)
{
    m_header->setGeometry(0, 0, width(), kHeaderHeight);
    rebuildLayout();
}

void UnifiedAudioScope::showEvent(QShowEvent*)
{
    if (!m_updateTimer.isActive())
        scheduleNext();
}

void UnifiedAudioScope::closeEvent(QCloseEvent* event)
{
    // The window is only borrowed: closing it gives the scope back to its place.
    if (m_poppedOut) {
        event->ignore();
        popIn();
        return;
    }
    QWidget::closeEvent(event);
}

void UnifiedAudioScope::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_freezeOnPress)
        m_frozen = true;
    QWidget::mousePressEvent(event);
}

void UnifiedAudioScope::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_frozen) {
        m_frozen = false;
        // What arrived while held was never meant to be seen.
        for (ScopeChannel& channel : m_channels)
            channel.ring->skipAll();
    }
    QWidget::mouseReleaseEvent(event);
}

void UnifiedAudioScope::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_popOutEnabled)
        return QWidget::mouseDoubleClickEvent(event);
    if (m_poppedOut)
        popIn();
    else
        popOut();
}

void UnifiedAudioScope::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.setToolTipsVisible(true);
    auto* group = new QActionGroup(&menu);
    for (int mode = 0; mode < int(kModes.size()); ++mode) {
        const ModeLook& look = kModes[size_t(mode)];
        QAction* action = menu.addAction(translated(look.menuText));
        action->setToolTip(translated(look.toolTip));
        action->setCheckable(true);
        action->setChecked(mode == m_mode && (look.checkedInGrid || !m_gridLayout));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode] {
            setGridLayout(false);
            setMode(mode);
        });
    }
    menu.exec(event->globalPos());
}

// ---- popping out --------------------------------------------------------------------------

void UnifiedAudioScope::popOut()
{
    QWidget* parent = parentWidget();
    if (m_poppedOut || !parent)
        return;
    m_formerParent = parent;
    QLayout* layout = parent->layout();
    m_formerIndex = layout ? layout->indexOf(this) : -1;
    m_placeholder = new QLabel(translated(kPlaceholderText), parent);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setStyleSheet(QString::fromLatin1(kPlaceholderStyle));
    m_placeholder->setMinimumSize(sizeHint());
    m_placeholder->setGeometry(geometry());
    if (layout)
        delete layout->replaceWidget(this, m_placeholder);
    m_placeholder->show();
    // Still the parent's: when it goes, the window goes with it.
    connect(parent, &QObject::destroyed, this, &QObject::deleteLater);
    setParent(nullptr, Qt::Window);
    setWindowTitle(translated(kWindowTitle));
    resize(kPoppedOutSize);
    m_poppedOut = true;
    show();
}

void UnifiedAudioScope::popIn()
{
    if (!m_poppedOut)
        return;
    hide();
    setWindowFlags({});
    m_poppedOut = false;
    QWidget* parent = m_formerParent;
    if (!parent)
        return;
    disconnect(parent, &QObject::destroyed, this, nullptr);
    QLayout* layout = parent->layout();
    if (layout && m_placeholder)
        layout->removeWidget(m_placeholder);
    delete m_placeholder.data();
    setParent(parent);
    auto* box = qobject_cast<QBoxLayout*>(layout);
    if (box && m_formerIndex >= 0)
        box->insertWidget(std::min(m_formerIndex, box->count()), this);
    else if (layout)
        layout->addWidget(this);
    show();
}

// ---- capture ------------------------------------------------------------------------------

ScopeCapture::ScopeCapture(const QAudioDevice& device, Deliver deliver)
    : m_input(std::make_unique<media::audio::AudioInputNode>())
    , m_deliver(std::move(deliver))
{
    QAudioFormat format = device.preferredFormat();
    format.setSampleFormat(QAudioFormat::Int16);
    m_input->configure(device, format, kRingFrames);
    if (!m_input->start())
        qCWarning(lcUi).noquote() << "Audio scope: capture did not start on"
                                  << device.description();
    m_interleaved.reserve(m_input->ring().capacity());
    m_channel.reserve(m_input->ring().capacity());
    connect(&m_drainTimer, &QTimer::timeout, this, &ScopeCapture::drain);
    m_drainTimer.start(kDrainMs);
}

ScopeCapture::~ScopeCapture()
{
    m_drainTimer.stop();
    m_input->stop();
}

// Whole frames only, so every channel gets the same number of samples.
void ScopeCapture::drain()
{
    media::audio::AudioRing& ring = m_input->ring();
    const quint64 channels = std::max<quint64>(1, m_input->channelCount());
    m_interleaved.resize(ring.available() / channels * channels);
    const quint64 frames = ring.read(m_interleaved.data(), m_interleaved.size()) / channels;
    m_channel.resize(frames);
    for (quint64 c = 0; c < channels; ++c) {
        for (quint64 f = 0; f < frames; ++f)
            m_channel[f] = m_interleaved[f * channels + c];
        m_deliver(int(c), m_channel.data(), int(frames));
    }
}

void UnifiedAudioScope::setCaptureDevice(const QAudioDevice& device)
{
    m_captureDevice = device;
    if (capturing()) {
        setCapturing(false);
        setCapturing(true);
    }
}

// Channels the device has and the scope lacks are dropped by pushSamples.
void UnifiedAudioScope::setCapturing(bool on)
{
    if (!on)
        m_capture.reset();
    else if (!m_capture && !m_captureDevice.isNull())
        m_capture = std::make_unique<ScopeCapture>(
            m_captureDevice, [this](int channel, const float* samples, int count) {
                pushSamples(channel, samples, count);
            });
}
