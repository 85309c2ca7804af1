#include "engine/Plan.h"
#include "engine/Logging.h"

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// Bytes of one buffer's slice, a whole number of alignment units.
quint64 sliceBytes(quint64 channels, quint64 frames)
{
    const quint64 bytes = std::max<quint64>(channels, 1) * frames * sizeof(double);
    return (bytes + Plan::kAlignment - 1) & ~(Plan::kAlignment - 1);
}

std::byte* alignUp(std::byte* at)
{
    const auto address = reinterpret_cast<std::uintptr_t>(at);
    const auto aligned = (address + Plan::kAlignment - 1) & ~std::uintptr_t(Plan::kAlignment - 1);
    return at + (aligned - address);
}

} // namespace

void Plan::addStep(const PlanStepPointer& step)
{
    m_steps.append(step);
    for (const auto& buffer : std::as_const(step->buffers))
        m_buffers.insert(buffer);
}

void Plan::execute(AudioContext& context, Buffer& destination)
{
    if (destination.size() > m_capacityFrames)
        layOut(destination.size());
    for (const auto& step : std::as_const(m_steps))
        step->run(context);
    mixOutputsInto(destination);
}

void Plan::mixOutputsInto(Buffer& destination) const
{
    double* out = destination.data();
    std::fill_n(out, destination.size(), 0.0);
    if (m_outputs.isEmpty())
        return;
    for (const auto& buffer : m_outputs) {
        const double* in = buffer->data();
        const quint64 count = std::min(destination.size(), buffer->size());
        for (quint64 i = 0; i < count; ++i)
            out[i] += in[i];
    }
    const double scale = 1.0 / double(m_outputs.size());
    for (quint64 i = 0; i < destination.size(); ++i)
        out[i] *= scale;
}

void Plan::layOut(quint64 frames)
{
    m_capacityFrames = frames;
    const auto count = quint64(m_buffers.size());
    quint64 total = kAlignment * (count + 1) + sliceBytes(1, frames);
    for (const auto& buffer : std::as_const(m_buffers))
        total += sliceBytes(buffer->channels(), frames);
    if (total > m_storage.size())
        m_storage.resize(total); // new bytes arrive zeroed
    qCDebug(lcEngine).noquote() << "Re-sized optimized buffer from" << 0 << "to" << total << "("
                                << frames << " frames," << count << " input buffers + 1 output)";

    std::byte* cursor = m_storage.data();
    const auto place = [&](Buffer& buffer) {
        cursor = alignUp(cursor);
        buffer.adopt(reinterpret_cast<double*>(cursor), frames);
        cursor += sliceBytes(buffer.channels(), frames);
    };
    for (const auto& buffer : std::as_const(m_buffers))
        place(*buffer);
    place(m_output);
}
