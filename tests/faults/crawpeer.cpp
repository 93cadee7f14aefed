#include "crawpeer.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

CRawPeer::CRawPeer(int receiveBuffer)
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    , m_ended(false)
    , m_received(0)
    , m_keepBytes(0)
{
    if (m_fd >= 0 && receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
}

CRawPeer::~CRawPeer()
{
    close();
}

bool CRawPeer::connectTo(quint16 port)
{
    if (m_fd < 0)
        return false;
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p {m_fd, POLLOUT, 0};
    if (::poll(&p, 1, 5000) != 1)
        return false;
    int error = 0;
    socklen_t len = sizeof error;
    return ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
}

void CRawPeer::setReceiveBuffer(int bytes)
{
    if (m_fd >= 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

qint64 CRawPeer::sendSome(const QByteArray &bytes)
{
    if (!isOpen())
        return -1;
    const ssize_t n = ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    m_ended = true;
    return -1;
}

bool CRawPeer::sendAll(const QByteArray &bytes, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const qint64 n = sendSome(bytes.mid(sent, 1 << 20));
        if (n < 0)
            return false;
        sent += n;
        if (sent == bytes.size())
            break;
        if (deadline.hasExpired())
            return false;
        pollfd p {m_fd, POLLOUT, 0};
        ::poll(&p, 1, int(qMin<qint64>(deadline.remainingTime(), 100)));
    }
    return true;
}

bool CRawPeer::poll(int timeoutMs)
{
    if (m_fd < 0 || m_ended)
        return true;
    pollfd p {m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received += n;
            if (m_kept.size() < m_keepBytes)
                m_kept.append(buffer, qsizetype(qMin<qint64>(n, m_keepBytes - m_kept.size())));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        if (n < 0 && errno == EINTR)
            continue;
        m_ended = true; // an orderly end or a reset
        return true;
    }
}

bool CRawPeer::waitEnded(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!poll(int(qBound<qint64>(0, deadline.remainingTime(), qint64(100))))) {
        if (deadline.hasExpired())
            return false;
    }
    return true;
}

bool CRawPeer::remoteClosed() const
{
    if (m_fd < 0 || m_ended)
        return true;
    pollfd p {m_fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

qint64 CRawPeer::pending() const
{
    int n = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &n) != 0)
        return -1;
    return n;
}

void CRawPeer::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
