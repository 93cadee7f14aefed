#pragma once

#include <QByteArray>
#include <QtGlobal>

// One plain TCP connection to 127.0.0.1, driven byte by byte: an attacker that drips, announces
// more than it sends, or asks for a push and then reads nothing. Sends never raise SIGPIPE.
class CRawPeer
{
public:
    // receiveBuffer > 0 shrinks the socket's receive buffer before it connects, so that a peer that
    // does not read stops a sender after a few KiB.
    explicit CRawPeer(int receiveBuffer = 0);
    ~CRawPeer();
    CRawPeer(const CRawPeer &) = delete;
    CRawPeer &operator=(const CRawPeer &) = delete;

    bool connectTo(quint16 port);
    // Lets a connected peer that has not read take more at once (it starts to read fast).
    void setReceiveBuffer(int bytes);
    bool isOpen() const { return m_fd >= 0 && !m_ended; }

    // Sends what the socket takes at once; the bytes taken, -1 once the connection is gone.
    qint64 sendSome(const QByteArray &bytes);
    // Sends all of bytes within timeoutMs; false when the connection ended or time ran out.
    bool sendAll(const QByteArray &bytes, int timeoutMs);

    // Reads what has arrived (counted, and kept up to keepBytes) and notes the end of the
    // connection; waits up to timeoutMs for something to happen. True once the connection ended
    // (the server closed or reset it).
    bool poll(int timeoutMs = 0);
    // Polls until the connection ends; false when it is still open after timeoutMs.
    bool waitEnded(int timeoutMs);
    bool ended() const { return m_ended; }
    // Whether the other end has closed or reset the connection, seen without reading what waits.
    bool remoteClosed() const;
    // Bytes waiting in the socket, not read yet.
    qint64 pending() const;
    qint64 received() const { return m_received; }
    QByteArray kept() const { return m_kept; }
    void setKeepBytes(qint64 n) { m_keepBytes = n; }

    void close();

private:
    int m_fd;
    bool m_ended;
    qint64 m_received;
    qint64 m_keepBytes;
    QByteArray m_kept;
};
