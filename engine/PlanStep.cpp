#include "engine/PlanStep.h"

#include <algorithm>
#include <iterator>

namespace {

using Buffers = QList<QSharedPointer<Buffer>>;

QString labels(Buffers::const_iterator first, Buffers::const_iterator last)
{
    QString text;
    for (auto it = first; it != last; ++it)
        text += QLatin1Char(' ') + (*it)->label();
    return text;
}

QString noopText(const PlanStep&)
{
    return QStringLiteral("NOOP");
}

QString clearText(const PlanStep& step)
{
    return QStringLiteral("CLEAR") + labels(step.buffers.cbegin(), step.buffers.cend());
}

QString copyText(const PlanStep& step)
{
    if (step.buffers.size() < 2)
        return {};
    return QStringLiteral("COPY ") + step.buffers.first()->label() + QStringLiteral(" INTO")
        + labels(step.buffers.cbegin() + 1, step.buffers.cend());
}

QString mixText(const PlanStep& step)
{
    if (step.buffers.size() < 2)
        return {};
    return QStringLiteral("MIX") + labels(step.buffers.cbegin() + 1, step.buffers.cend())
        + QStringLiteral(" INTO ") + step.buffers.first()->label();
}

QString processText(const PlanStep& step)
{
    QString text = QStringLiteral("PROCESS") + labels(step.buffers.cbegin(), step.buffers.cend())
        + QStringLiteral(" WITH");
    for (const QString& name : step.names)
        text += QLatin1Char(' ') + name;
    return text;
}

void clearBuffers(const PlanStep& step, AudioContext&)
{
    for (const auto& buffer : step.buffers)
        std::fill_n(buffer->data(), buffer->size(), 0.0);
}

void copyBuffers(const PlanStep& step, AudioContext&)
{
    if (step.buffers.size() < 2)
        return;
    const Buffer& source = *step.buffers.first();
    for (auto it = step.buffers.cbegin() + 1; it != step.buffers.cend(); ++it)
        std::copy_n(source.data(), std::min(source.size(), (*it)->size()), (*it)->data());
}

void mixBuffers(const PlanStep& step, AudioContext&)
{
    if (step.buffers.size() < 2)
        return;
    Buffer& target = *step.buffers.first();
    for (auto it = step.buffers.cbegin() + 1; it != step.buffers.cend(); ++it) {
        const double* in = (*it)->data();
        double* out = target.data();
        const quint64 count = std::min(target.size(), (*it)->size());
        for (quint64 i = 0; i < count; ++i)
            out[i] += in[i];
    }
}

void processBuffers(const PlanStep& step, AudioContext& context)
{
    for (const auto& buffer : step.buffers) {
        context.frames = buffer->frames();
        context.channels = buffer->channels();
        context.data = buffer->data();
        for (const auto& processor : step.processors)
            processor->process(context);
    }
}

struct KindEntry {
    QString (*text)(const PlanStep&);
    void (*run)(const PlanStep&, AudioContext&);
};

// Indexed by PlanStep::Kind; NOOP changes nothing.
constexpr KindEntry kKinds[] = {
    { noopText, nullptr },
    { clearText, clearBuffers },
    { copyText, copyBuffers },
    { mixText, mixBuffers },
    { processText, processBuffers },
};

const KindEntry* entryOf(qint32 kind)
{
    return kind >= 0 && kind < qint32(std::size(kKinds)) ? &kKinds[kind] : nullptr;
}

} // namespace

QString PlanStep::text() const
{
    const KindEntry* entry = entryOf(kind);
    return entry ? entry->text(*this) : QString();
}

void PlanStep::run(AudioContext& context) const
{
    const KindEntry* entry = entryOf(kind);
    if (entry && entry->run)
        entry->run(*this, context);
}
