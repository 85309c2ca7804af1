#pragma once

#include <QSharedPointer>

namespace media::graph {

// A directed edge between two nodes of type N.
template <class N>
class Connection {
public:
    Connection() = default;
    Connection(const QSharedPointer<N>& from, const QSharedPointer<N>& to)
        : from(from)
        , to(to)
    {
    }
    virtual ~Connection() = default;

    QSharedPointer<N> from;
    QSharedPointer<N> to;
};

} // namespace media::graph
