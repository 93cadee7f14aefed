#pragma once

#include <QList>

#include <sys/resource.h>

// Plain connected sockets to 127.0.0.1 that send nothing.
class CIdleConnections
{
public:
    CIdleConnections() = default;
    ~CIdleConnections();
    CIdleConnections(const CIdleConnections &) = delete;
    CIdleConnections &operator=(const CIdleConnections &) = delete;

    // Opens up to count connections to port; returns how many are connected in all.
    int open(quint16 port, int count);
    // Connections the peer has not closed: a read would block rather than see the end.
    int stillOpen() const;

    // Raises this process's soft limit of open files as far as the hard limit allows (processes
    // started afterwards inherit it); returns the new soft limit.
    static rlim_t raiseFileLimit(rlim_t wanted);

private:
    QList<int> m_fds;
};
