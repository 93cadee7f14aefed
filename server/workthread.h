#pragma once

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QString>
#include <QTcpSocket>
#include <QThread>

// Serves one request of the server port whose frame the listener has read whole: applies a change
// notice or answers an update check on the connection, and ends. The listener reads the frame, so a
// worker never waits for a peer's request; it only writes the reply (or the push) and closes.
class WorkThread : public QThread
{
    Q_OBJECT

public:
    WorkThread(qintptr socketDescriptor, const QString &request, QObject *parent);
    ~WorkThread() override;

    // Whether the request is an update check (served in the push pool) rather than store work.
    static bool isUpdateCheck(const QString &request);

    // Asks a running worker to end early: every wait for the peer ends, a running push is
    // interrupted. Store work in progress finishes (a file is replaced whole or not at all).
    void requestStop();

    // Longest wait for more bytes (30000 ms), and the longest a request may take to arrive as a
    // whole (120000 ms; a push may take five times that), so that a peer trickling bytes, or not
    // reading a push, cannot hold the server for ever. Tests shorten them through
    // BRAMIX_TEST_SERVER_WAIT_MS and BRAMIX_TEST_SERVER_DEADLINE_MS; nothing else reads those
    // variables.
    static int waitMs();
    static int deadlineMs();

signals:
    void error(QTcpSocket::SocketError socketError);

protected:
    void run() override;

private:
    void serve();
    void serveChangeNotice();
    void serveUpdateCheck();
    void writeReply(const QString &text);
    void closeConnection();
    bool stopped() const { return m_stop.loadAcquire() != 0; }

    qintptr m_descriptor;
    QString m_request;
    QTcpSocket *m_socket;
    QAtomicInt m_stop;
};
