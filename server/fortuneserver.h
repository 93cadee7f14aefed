#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QQueue>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

class WorkThread;

// The listener of the server port. An accepted connection is watched here until it has something
// to read (its request, or its end); only then does it get a worker thread of its own, so peers
// that connect and send nothing hold a descriptor, not a worker. One that stays silent for the
// worker's read wait is closed here, as its worker would have done. At most maxWorkers() run at
// once; further readable connections wait (accepted and queued, or in the backlog) until a worker
// ends, so a flood of idle or trickling connections cannot exhaust the server.
class FortuneServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit FortuneServer(QObject *parent = nullptr);
    ~FortuneServer() override;

    // Stops accepting and closes the connections that have sent nothing, then waits for the running
    // workers and their pushes: up to boundMs for them to finish their work, then interrupts what
    // is left. Store files are replaced atomically, so a worker cut short never leaves one half
    // written.
    void shutdown(int boundMs);

    int workerCount() const { return m_workers.size(); }

    // 256; tests lower it through BRAMIX_TEST_SERVER_MAX_WORKERS, which nothing else reads.
    static int maxWorkers();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void workerFinished();
    void connectionReadable(QSocketDescriptor socket);
    void closeSilentConnections();

private:
    struct IdleConnection
    {
        QSocketNotifier *notifier;
        quint64 serial; // tells a reused descriptor number from the one that was accepted
    };
    struct IdleExpiry
    {
        qintptr descriptor;
        quint64 serial;
        QDeadlineTimer silence;
    };

    void serve(qintptr socketDescriptor);
    void startWorker(qintptr socketDescriptor);
    void scheduleSilenceCheck();

    QList<WorkThread *> m_workers;
    QQueue<qintptr> m_waiting;
    // Connections that have sent nothing yet; their expiries in accept order, which is also the
    // order of their deadlines (every connection gets the same wait).
    QHash<qintptr, IdleConnection> m_idle;
    QQueue<IdleExpiry> m_expiries;
    quint64 m_nextSerial;
    QTimer m_silenceTimer;
    bool m_stopping;
};
