#pragma once

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QMutex>
#include <QString>
#include <QTcpSocket>
#include <QThread>
#include <QWaitCondition>

// A worker of the server port. It lives as long as the listener and serves one request after
// another: the listener hands it a request whose frame it has read whole (serve()), and the worker
// applies the change notice or answers the update check on that connection, closes it and signals
// served(). The listener reads the frame, so a worker never waits for a peer's request; it only
// writes the reply (or the push) and closes. A worker that lives on keeps the memory its requests
// use (the C library keeps it for its thread), so the next request does not take it afresh from
// the kernel.
class WorkThread : public QThread
{
    Q_OBJECT

public:
    explicit WorkThread(QObject *parent);
    ~WorkThread() override;

    // Hands an idle worker its next request: the connection and the frame's text. Called in the
    // application thread, for a worker just started or one that has signalled served() for its
    // last request.
    void serve(qintptr socketDescriptor, const QString &request);

    // Whether the request is an update check (served in the push pool) rather than store work.
    static bool isUpdateCheck(const QString &request);

    // Asks the worker to end: every wait for the peer ends, a running push is interrupted, a wait
    // for a store file's lock is given up (the request then changes nothing and gets no reply), and
    // the thread ends after its request. A replacement of a file in progress finishes (a file is
    // replaced whole or not at all). A worker asked to stop takes no further request.
    void requestStop();

    // Whether the peer of a connection has closed it (or it broke): such a peer reads nothing more.
    static bool peerHasClosed(qintptr socketDescriptor);

    // Longest wait for more bytes (30000 ms), and the longest a request may take to arrive as a
    // whole (120000 ms; a push may take five times that), so that a peer trickling bytes, or not
    // reading a push, cannot hold the server for ever. Tests shorten them through
    // BRAMIX_TEST_SERVER_WAIT_MS and BRAMIX_TEST_SERVER_DEADLINE_MS; nothing else reads those
    // variables.
    static int waitMs();
    static int deadlineMs();

signals:
    void error(QTcpSocket::SocketError socketError);
    // A request has been served and its connection closed; emitted in the worker's thread.
    void served();

protected:
    void run() override;

private:
    void serveConnection();
    void serveRequest();
    void serveChangeNotice();
    void serveUpdateCheck();
    void writeReply(const QString &text);
    void closeConnection();
    bool stopped() const { return m_stop.loadAcquire() != 0; }

    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_pending; // a request handed over and not yet taken (under m_mutex)
    qintptr m_descriptor;
    QString m_request;
    QTcpSocket *m_socket;
    QAtomicInt m_stop;
};
