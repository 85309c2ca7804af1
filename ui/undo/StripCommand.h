#pragma once

#include "processors/io/MixerStrip.h"
#include "song/Node.h"

#include <QUndoCommand>

// The settings of an Output node's mixer strip that the song keeps: the volume and the dials.
struct StripState {
    double volume = 1.0;
    StripDials dials;

    // The state of the node's Output processor; the default state without one.
    static StripState of(const zarn::Node& node);
    // Gives it to the node's current processor, whichever processor that is by now.
    void applyTo(const zarn::Node& node) const;
    bool operator==(const StripState&) const = default;
};

// One change of a strip's volume or dials. The caller applies it first; the first redo does
// nothing. Changes of the same control of the same strip in a row merge into one step.
class StripCommand final : public QUndoCommand {
public:
    static constexpr int kId = 3;

    StripCommand(const zarn::NodePointer& node, const QString& text, const StripState& before,
        const StripState& after, int control);

    void redo() override;
    void undo() override;
    int id() const override { return kId; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    zarn::NodePointer m_node;
    StripState m_before;
    StripState m_after;
    int m_control;
    bool m_applied = true;
};
