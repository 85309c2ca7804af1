#pragma once

#include "song/Node.h"

#include <optional>

// The computer keyboard as a one-voice instrument for a node: a key press sounds its note on
// the node's first note parameter at once, and the release of the key that sounds now ends
// it with a note off. Each call says what it played, so the caller can record it.
class KeyboardJam {
public:
    static constexpr quint32 kNoteOff = 254;

    struct Played {
        zarn::NodePointer node;
        int parameter = -1;
        quint32 value = 0;
    };

    // The node's first note parameter, or -1.
    static int noteParameterOf(const NodeParameterSchema& schema);

    // Sounds `note` for `key`, replacing any note that sounds; nothing for a node without
    // a note parameter.
    std::optional<Played> press(const zarn::NodePointer& node, int key, quint32 note);
    // Ends the note when `key` is the one that sounds.
    std::optional<Played> release(int key);
    // Ends whatever sounds: the keys can no longer be heard letting go.
    std::optional<Played> stop();

private:
    std::optional<Played> play(const zarn::NodePointer& node, int parameter, quint32 value);

    zarn::NodePointer m_node;
    int m_key = 0;
    int m_parameter = -1;
};
