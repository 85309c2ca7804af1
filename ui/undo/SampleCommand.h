#pragma once

#include "processors/sources/Sample.h"
#include "song/Node.h"

#include <QUndoCommand>

// Gives a Sample node a new sample; undo gives the old one back. The sample goes to the
// node's current processor, whichever that is by then (playing from the start renews it).
class SampleCommand final : public QUndoCommand {
public:
    SampleCommand(const zarn::NodePointer& node, Sample sample);

    void redo() override { swap(); }
    void undo() override { swap(); }

    // The node's sample, empty for a node of another type.
    static Sample sampleOf(const zarn::Node& node);

private:
    void swap();

    zarn::NodePointer m_node;
    Sample m_kept; // the sample the node does not have at the moment
};
