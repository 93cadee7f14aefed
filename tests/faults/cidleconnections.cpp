#include "cidleconnections.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

CIdleConnections::~CIdleConnections()
{
    for (int fd : m_fds)
        ::close(fd);
}

int CIdleConnections::open(quint16 port, int count)
{
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(fd);
            break;
        }
        m_fds.append(fd);
    }
    return int(m_fds.size());
}

int CIdleConnections::stillOpen() const
{
    int n = 0;
    for (int fd : m_fds) {
        char c;
        const ssize_t r = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            ++n;
    }
    return n;
}

rlim_t CIdleConnections::raiseFileLimit(rlim_t wanted)
{
    rlimit lim {};
    ::getrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < wanted) {
        lim.rlim_cur = lim.rlim_max < wanted ? lim.rlim_max : wanted;
        ::setrlimit(RLIMIT_NOFILE, &lim);
        ::getrlimit(RLIMIT_NOFILE, &lim);
    }
    return lim.rlim_cur;
}
