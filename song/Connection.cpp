#include "song/Connection.h"

Connection::Connection(
    const zarn::NodePointer& from, const zarn::NodePointer& to, const QWeakPointer<Song>& song)
    : media::graph::Connection<zarn::Node>(from, to)
    , song(song)
{
}
