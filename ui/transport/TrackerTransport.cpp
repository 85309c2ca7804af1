#include "ui/transport/TrackerTransport.h"

#include "ui_TrackerTransport.h"

#include "core/EngineRate.h"
#include "infra/Settings.h"
#include "song/Sequencer.h"
#include "ui/Logging.h"

#include <QDebug>
#include <QFont>
#include <QFontMetrics>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

namespace {

const char* const kPlayToolTip = QT_TRANSLATE_NOOP("TrackerTransport", "Play (F5)");
const char* const kStopToolTip = QT_TRANSLATE_NOOP("TrackerTransport", "Stop (F8)");
const char* const kLiveText = QT_TRANSLATE_NOOP("TrackerTransport", "LIVE");
const char* const kRenderText = QT_TRANSLATE_NOOP("TrackerTransport", "RENDER");

// The widest texts the readout shows, so the strip does not jump while playing.
const QString kWidestStepTick = QStringLiteral("0000:00");
const QString kWidestTime = QStringLiteral("000:00.000");

constexpr qint64 kMillisecondsPerSecond = 1000;
constexpr qint64 kSecondsPerMinute = 60;

void setCheckedQuietly(QAbstractButton* button, bool on)
{
    const QSignalBlocker blocker(button);
    button->setChecked(on);
}

} // namespace

TrackerTransport::TrackerTransport(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TrackerTransport>())
{
    m_ui->setupUi(this);
    m_point.provider = &m_grid;

    // The readout's face is not shipped with the program; any monospace face keeps the
    // digits from shifting while the position runs.
    QFont font = m_ui->labelPosition->font();
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    m_ui->labelPosition->setFont(font);
    const QFontMetrics metrics(font);
    m_ui->labelPosition->setMinimumWidth(
        std::max(metrics.horizontalAdvance(kWidestStepTick), metrics.horizontalAdvance(kWidestTime))
        + 2 * metrics.averageCharWidth());

    m_ui->toggleButtonPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));

    connect(m_ui->toggleButtonPlay, &QAbstractButton::toggled, this, &TrackerTransport::togglePlay);
    connect(m_ui->toggleButtonLoop, &QAbstractButton::toggled, this, &TrackerTransport::toggleLoop);
    connect(
        m_ui->toggleButtonRecord, &QAbstractButton::toggled, this, &TrackerTransport::toggleRecord);
    connect(m_ui->toggleButtonRender, &QAbstractButton::toggled, this,
        &TrackerTransport::setRenderMode);
    // Not kept in the store: every start types into the grid until JAM is chosen.
    connect(m_ui->toggleButtonJam, &QAbstractButton::toggled, this, &TrackerTransport::jamChanged);
    connect(
        m_ui->spinBoxBPM, &QSpinBox::valueChanged, this, &TrackerTransport::beatsPerMinuteChanged);
    connect(
        m_ui->spinBoxTPB, &QSpinBox::valueChanged, this, &TrackerTransport::ticksPerBeatChanged);
    connect(
        m_ui->spinBoxTPS, &QSpinBox::valueChanged, this, &TrackerTransport::ticksPerStepChanged);
}

TrackerTransport::~TrackerTransport() = default;

void TrackerTransport::setSong(const QSharedPointer<Sequencer>& sequencer)
{
    if (debug)
        qCDebug(lcUi) << "Set song to"
                      << "(TrackerTransport)";
    m_sequencer = sequencer;
    Position* const pos = position();
    if (pos) {
        // Showing the song's own numbers must not write them back into the store, which
        // still holds the user's tempo and grid for the next start.
        const QSignalBlocker bpm(m_ui->spinBoxBPM);
        const QSignalBlocker tpb(m_ui->spinBoxTPB);
        const QSignalBlocker tps(m_ui->spinBoxTPS);
        m_ui->spinBoxBPM->setValue(pos->beatsPerMinute);
        m_ui->spinBoxTPB->setValue(pos->ticksPerBeat);
        m_ui->spinBoxTPS->setValue(pos->ticksPerStepValue);
    }
    // The toggles below write the flags, so the song's own are read first.
    const bool recording = pos && pos->recording;
    const bool playing = pos && pos->playing;
    toggleRecord(false);
    toggleLoop(true);
    togglePlay(false);
    toggleRecord(recording);
    togglePlay(playing);
    if (pos)
        playPositionChanged(*pos);
    update();
}

void TrackerTransport::setSettings(const QSharedPointer<Settings>& settings)
{
    m_settings = settings;
}

void TrackerTransport::restoreSettings()
{
    using namespace settingskey;
    const auto stored = [this](const char* key, int fallback) {
        return m_settings ? m_settings->intValue(QString::fromLatin1(key), fallback) : fallback;
    };
    const struct {
        Field field;
        QSpinBox* box;
        int value;
    } fields[] = {
        { Field::BeatsPerMinute, m_ui->spinBoxBPM,
            stored(kBeatsPerMinute, kDefaultBeatsPerMinute) },
        { Field::TicksPerBeat, m_ui->spinBoxTPB, stored(kTicksPerBeat, kDefaultTicksPerBeat) },
        { Field::TicksPerStep, m_ui->spinBoxTPS, stored(kBeatsPerStep, kDefaultBeatsPerStep) },
    };
    for (const auto& entry : fields) {
        {
            const QSignalBlocker blocker(entry.box);
            entry.box->setValue(entry.value);
        }
        // The spin box clamps a damaged stored value into its range.
        applyField(entry.field, entry.box->value());
    }
    emit gridChanged(m_ui->spinBoxTPS->value());
}

bool TrackerTransport::isPlaying() const
{
    return m_ui->toggleButtonPlay->isChecked();
}

void TrackerTransport::setTicksPerStep(int ticksPerStep)
{
    m_ui->spinBoxTPS->setValue(ticksPerStep);
}

bool TrackerTransport::renderMode() const
{
    return m_ui->toggleButtonRender->isChecked();
}

void TrackerTransport::togglePlay(bool play)
{
    QAbstractButton* const button = m_ui->toggleButtonPlay;
    button->setIcon(style()->standardIcon(play ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    button->setToolTip(tr(play ? kStopToolTip : kPlayToolTip));
    setCheckedQuietly(button, play);
    if (debug)
        qCDebug(lcUi) << "playing -->" << play;
    if (Position* const pos = position())
        pos->playing = play;
    emit playingChanged(play);
}

void TrackerTransport::toggleLoop(bool loop)
{
    setCheckedQuietly(m_ui->toggleButtonLoop, loop);
    if (debug)
        qCDebug(lcUi) << "looping -->" << loop;
    if (Position* const pos = position()) {
        pos->looping = loop;
        // A play position outside the loop would otherwise play on to the end once first.
        if (loop && pos->sequenceEnd.sample > 0
            && (pos->playPos >= pos->sequenceEnd || pos->playPos < pos->loopBegin))
            pos->playPos.sample = pos->loopBegin.sample;
        pos->wrapPlayPosition();
    }
    emit loopingChanged(loop);
}

void TrackerTransport::toggleRecord(bool record)
{
    setCheckedQuietly(m_ui->toggleButtonRecord, record);
    if (debug)
        qCDebug(lcUi) << "recording -->" << record;
    if (Position* const pos = position())
        pos->recording = record;
    emit recordingChanged(record);
}

void TrackerTransport::playPositionChanged(Position position)
{
    m_grid.ticks = position.ticksPerStep();
    m_grid.samples = position.samplesPerTick();
    m_grid.samplesPerSecond = position.samplesPerSecond;
    m_point.sample = position.playPos.sample;
    showPoint();
}

void TrackerTransport::ticksPerBeatChanged(int ticksPerBeat)
{
    if (debug)
        qCDebug(lcUi) << "tpb -->" << ticksPerBeat;
    fieldEdited(Field::TicksPerBeat, ticksPerBeat);
}

void TrackerTransport::beatsPerMinuteChanged(int beatsPerMinute)
{
    if (debug)
        qCDebug(lcUi) << "bpm -->" << beatsPerMinute;
    fieldEdited(Field::BeatsPerMinute, beatsPerMinute);
}

void TrackerTransport::ticksPerStepChanged(int ticksPerStep)
{
    if (debug)
        qCDebug(lcUi) << "tps -->" << ticksPerStep;
    fieldEdited(Field::TicksPerStep, ticksPerStep);
    emit gridChanged(ticksPerStep);
}

void TrackerTransport::displayModeChanged(DisplayMode mode)
{
    m_displayMode = mode;
    showPoint();
}

void TrackerTransport::applyField(Field field, int value)
{
    Position* const pos = position();
    if (!pos)
        return;
    switch (field) {
    case Field::BeatsPerMinute:
        pos->beatsPerMinute = value;
        break;
    case Field::TicksPerBeat:
        pos->ticksPerBeat = value;
        break;
    case Field::TicksPerStep:
        pos->ticksPerStepValue = value;
        break;
    }
    pos->updateNumbers();
}

void TrackerTransport::fieldEdited(Field field, int value)
{
    const Position* const pos = position();
    const qint32 samplesPerTick = pos ? pos->samplesPerTick() : 0;
    const qint32 ticksPerStep = pos ? pos->ticksPerStep() : 0;
    applyField(field, value);
    // The file holds the grid, not the tempo it came from: only a new grid is an edit.
    if (pos && (pos->samplesPerTick() != samplesPerTick || pos->ticksPerStep() != ticksPerStep))
        m_sequencer->taint("tempoChanged");
    if (!m_settings)
        return;
    using namespace settingskey;
    const char* const key = field == Field::BeatsPerMinute ? kBeatsPerMinute
        : field == Field::TicksPerBeat                     ? kTicksPerBeat
                                                           : kBeatsPerStep;
    m_settings->setInt(QString::fromLatin1(key), value);
}

void TrackerTransport::setRenderMode(bool render)
{
    m_ui->toggleButtonRender->setText(tr(render ? kRenderText : kLiveText));
    emit playbackModeChanged(render);
}

void TrackerTransport::showPoint()
{
    const QChar zero = QLatin1Char('0');
    QString text;
    if (m_displayMode == DisplayMode::StepTick) {
        text = QStringLiteral("%1:%2")
                   .arg(m_point.step(), 4, 10, zero)
                   .arg(m_point.tickInStep(), 2, 10, zero);
    } else {
        const qint64 rate = m_grid.samplesPerSecond > 0 ? m_grid.samplesPerSecond : kEngineRate;
        const qint64 ms = qint64(m_point.sample) * kMillisecondsPerSecond / rate;
        const qint64 seconds = ms / kMillisecondsPerSecond;
        text = QStringLiteral("%1:%2.%3")
                   .arg(seconds / kSecondsPerMinute, 2, 10, zero)
                   .arg(seconds % kSecondsPerMinute, 2, 10, zero)
                   .arg(ms % kMillisecondsPerSecond, 3, 10, zero);
    }
    m_ui->labelPosition->setText(text);
}

Position* TrackerTransport::position() const
{
    return m_sequencer ? &m_sequencer->position : nullptr;
}
