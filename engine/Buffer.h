#pragma once

#include <QString>
#include <QtGlobal>

// A mono block of doubles. A free-standing buffer owns its samples; a buffer of a
// plan points into the plan's storage block and owns nothing.
class Buffer {
public:
    // A free-standing buffer of `samples` zeros.
    explicit Buffer(quint64 samples = 0);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Reallocates to `samples`, keeping the head of the old samples and filling the rest.
    void resize(quint64 samples, double fill = 0.0);
    // Points the buffer at `slice`, which must hold channels x frames doubles and
    // outlive the buffer's use of it; the old owned samples are freed.
    void adopt(double* slice, quint64 frames);

    double* data() { return m_data; }
    const double* data() const { return m_data; }
    quint64 size() const { return m_size; }
    quint64 frames() const { return m_frames; }
    quint64 channels() const { return m_channels; }
    bool ownsData() const { return m_ownsData; }

    // "B" and the id, as plans show their buffers.
    QString label() const { return QStringLiteral("B%1").arg(id); }

    qint32 id = 0; // the buffer's number within one build, from 1

private:
    void release();

    double* m_data = nullptr;
    quint64 m_size = 0;
    quint64 m_frames = 0;
    quint64 m_channels = 1;
    bool m_ownsData = true;
};
