#pragma once

#include <QtGlobal>

#include <optional>

// Reads the lanes of a delivered row. Every processor asks through here, so
// "lane absent or empty" means the same thing across the catalogue.
class RowLanes {
public:
    static constexpr quint32 kEmptyByte = 0xFF;
    static constexpr quint32 kEmptyNote = 0xFF;
    static constexpr quint32 kNoteOff = 254;
    static constexpr quint32 kEmptyWord = 0xFFFF;
    static constexpr quint32 kEmptySwitch = 2;
    static constexpr quint32 kEmptyMiddle = 0x80;

    RowLanes(const quint32* values, int count)
        : m_values(values)
        , m_count(values ? count : 0)
    {
    }

    bool has(int lane) const { return lane >= 0 && lane < m_count; }
    int count() const { return m_count; }

    // The raw value when present.
    std::optional<quint32> raw(int lane) const
    {
        return has(lane) ? std::optional<quint32>(m_values[lane]) : std::nullopt;
    }
    // The value when present and below `limit` (byte, note and switch lanes).
    std::optional<quint32> below(int lane, quint32 limit) const
    {
        const auto v = raw(lane);
        return v && *v < limit ? v : std::nullopt;
    }
    // The value when present and not `empty`.
    std::optional<quint32> except(int lane, quint32 empty) const
    {
        const auto v = raw(lane);
        return v && *v != empty ? v : std::nullopt;
    }
    // A byte lane whose empty mark lies inside its range (128 on several instruments):
    // the value when present, a byte, and not `empty`.
    std::optional<quint32> byteExcept(int lane, quint32 empty) const
    {
        const auto v = below(lane, 0x100);
        return v && *v != empty ? v : std::nullopt;
    }
    // The low 16 bits when present and not the word lanes' empty mark.
    std::optional<quint32> word(int lane) const
    {
        const auto v = raw(lane);
        if (!v || (*v & 0xFFFF) == kEmptyWord)
            return std::nullopt;
        return *v & 0xFFFF;
    }

private:
    const quint32* m_values;
    int m_count;
};
