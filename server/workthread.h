#pragma once

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

// Serves one connection of the server port: reads one request in a short frame with blocking waits,
// applies a change notice or answers an update check, and ends. Bytes after the first frame are
// never read.
class WorkThread : public QThread
{
    Q_OBJECT

public:
    WorkThread(qintptr socketDescriptor, QObject *parent);
    ~WorkThread() override;

    // Asks a running worker to end early. Soft: a worker still waiting for the first byte of its
    // request gives up. Hard: every wait ends, a running push is interrupted.
    enum StopLevel { NoStop = 0, SoftStop = 1, HardStop = 2 };
    void requestStop(StopLevel level);

    // Longest wait for more bytes (30000 ms), and the longest a request may take to arrive as a
    // whole (120000 ms; a push may take five times that), so that a peer trickling bytes, or not
    // reading a push, cannot hold its worker for ever. Tests
    // shorten them through BRAMIX_TEST_SERVER_WAIT_MS and BRAMIX_TEST_SERVER_DEADLINE_MS; nothing
    // else reads those variables.
    static int waitMs();
    static int deadlineMs();

signals:
    void error(QTcpSocket::SocketError socketError);

public slots:
    void readSocket();

protected:
    void run() override;

private:
    bool waitForMore(const QDeadlineTimer &overall, bool received);
    void serveChangeNotice(const QString &text);
    void serveUpdateCheck(const QString &text);
    void writeReply(const QString &text);
    void closeConnection();

    qintptr m_descriptor;
    QTcpSocket *m_socket;
    QAtomicInt m_stopLevel;
};
