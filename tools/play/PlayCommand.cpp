#include "tools/play/PlayCommand.h"

#include "core/EngineRate.h"
#include "engine/ZarnPlayer.h"
#include "media/devices/DeviceManager.h"
#include "song/Sequencer.h"
#include "song/SongFile.h"
#include "tools/play/PlayOptions.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

using media::devices::DeviceManager;

namespace play {

namespace {

constexpr int kStatusMs = 100;
constexpr int kDrainMs = 1000; // the longest wait for queued blocks to be heard

int listDevices(Console& console)
{
    DeviceManager& devices = DeviceManager::instance();
    const QList<QAudioDevice> outputs = devices.audioOutputs();
    if (outputs.isEmpty()) {
        console.err << "zarn-play: no audio output device; is an audio server running?" << Qt::endl;
        return NoAudioServer;
    }
    const QByteArray defaultId = devices.defaultAudioOutput().id();
    for (const QAudioDevice& device : outputs)
        console.out << (device.id() == defaultId ? "* " : "  ") << DeviceManager::hexId(device)
                    << "  " << device.description() << Qt::endl;
    return Success;
}

SongPointer loadOrExplain(const QString& path, Console& console)
{
    const SongPointer song = Song::createEmpty();
    const songfile::LoadReport report = loadSongReport(song, path);
    if (report.ok)
        return song;
    console.err << "zarn-play: cannot play '" << path << "': " << report.message << Qt::endl;
    return {};
}

QString clock(double seconds)
{
    const int whole = int(seconds);
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(int((seconds - whole) * 10));
}

// Plays until the song stops by itself, the time is up or Ctrl+C.
class Session {
public:
    Session(ZarnPlayer& player, const SongPointer& song, const Options& options, Console& console)
        : m_player(player)
        , m_position(song->sequencer->position)
        , m_options(options)
        , m_console(console)
    {
    }

    void play()
    {
        m_player.startFromSequenceBegin();
        if (m_options.loop) {
            m_position.loopBegin.sample = m_position.sequenceBegin.sample;
            m_position.looping = true;
        }
        m_position.playing = true;
        QTimer status;
        QObject::connect(&status, &QTimer::timeout, &m_loop, [this] { check(); });
        status.start(kStatusMs);
        m_clock.start();
        m_player.setRunning(true);
        m_loop.exec();
        drain();
        m_player.setRunning(false);
        if (m_console.statusLine)
            m_console.err << Qt::endl;
        summary();
    }

private:
    bool finished() const
    {
        const bool interrupted = m_console.interrupted && m_console.interrupted->load();
        const bool timeUp = m_options.seconds > 0 && m_clock.elapsed() >= m_options.seconds * 1000;
        return interrupted || timeUp || !m_position.playing;
    }

    void check()
    {
        if (m_console.statusLine)
            showStatus();
        if (finished())
            m_loop.quit();
    }

    double playedSeconds() const
    {
        const double rate = std::max(1, m_position.samplesPerSecond);
        return (m_position.playPos.sample - m_position.sequenceBegin.sample) / rate;
    }

    quint64 underruns() const
    {
        const auto& node = m_player.deviceSubgraph().outputNode;
        return node ? node->underrunCount() : 0;
    }

    void showStatus()
    {
        const EngineStatus status = m_player.status();
        const double blockMs = 1000.0 * m_player.bufferSize() / kEngineRate;
        m_console.err << "\r" << clock(playedSeconds()) << "  load "
                      << QString::number(100.0 * status.lastMs / blockMs, 'f', 0) << "%  underruns "
                      << underruns() << "   " << Qt::flush;
    }

    // What is queued for the device is still to be heard.
    void drain()
    {
        const auto& node = m_player.deviceSubgraph().outputNode;
        QElapsedTimer waited;
        waited.start();
        while (node && node->ring().available() > 0 && waited.elapsed() < kDrainMs)
            QEventLoop().processEvents(QEventLoop::AllEvents, 10);
    }

    void summary()
    {
        const EngineStatus status = m_player.status();
        const double rendered = double(status.buffers) * m_player.bufferSize() / kEngineRate;
        m_console.err << "Played " << QString::number(rendered, 'f', 2) << " s in "
                      << status.buffers << " blocks of " << m_player.bufferSize()
                      << " frames; peak block " << QString::number(status.peakMs, 'f', 2)
                      << " ms; underruns " << underruns() << Qt::endl;
    }

    ZarnPlayer& m_player;
    Position& m_position;
    const Options& m_options;
    Console& m_console;
    QEventLoop m_loop;
    QElapsedTimer m_clock;
};

int playSong(const Options& options, Console& console)
{
    const SongPointer song = loadOrExplain(options.songPath, console);
    if (!song)
        return SongUnreadable;
    DeviceManager& devices = DeviceManager::instance();
    if (devices.audioOutputs().isEmpty()) {
        console.err << "zarn-play: no audio output device; is an audio server running?" << Qt::endl;
        return NoAudioServer;
    }
    ZarnPlayer player;
    player.debug = false;
    const QString wanted = options.device.isEmpty()
        ? DeviceManager::hexId(devices.defaultAudioOutput())
        : options.device;
    player.onOutputChanged(wanted);
    if (!player.deviceSubgraph().outputNode) {
        console.err << "zarn-play: no output device takes 44100 Hz stereo 16-bit audio" << Qt::endl;
        return NoUsableDevice;
    }
    if (!options.device.isEmpty() && devices.findAudioOutput(options.device).isNull())
        console.err << "zarn-play: no device '" << options.device << "'; playing on "
                    << player.deviceSubgraph().device.description() << Qt::endl;
    player.onBufferSizeChanged(options.blockFrames);
    player.setSong(song);
    Session(player, song, options, console).play();
    return Success;
}

} // namespace

int run(const QStringList& arguments, Console& console)
{
    const ParseResult parsed = parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        console.err << "zarn-play: " << parsed.error << Qt::endl
                    << "Try 'zarn-play --help'." << Qt::endl;
        return BadArguments;
    }
    switch (parsed.options.mode) {
    case Options::Mode::Help:
        console.out << helpText() << Qt::flush;
        return Success;
    case Options::Mode::ListDevices:
        return listDevices(console);
    case Options::Mode::Play:
        break;
    }
    return playSong(parsed.options, console);
}

} // namespace play
