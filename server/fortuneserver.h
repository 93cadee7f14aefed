#pragma once

#include <QList>
#include <QQueue>
#include <QTcpServer>

class WorkThread;

// The listener of the server port: every accepted connection gets a worker thread of its own. At
// most maxWorkers() run at once; further connections wait (in the backlog, or accepted and queued)
// until a worker ends, so a flood of idle connections cannot exhaust the server.
class FortuneServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit FortuneServer(QObject *parent = nullptr);
    ~FortuneServer() override;

    // Stops accepting, then waits for the running workers and their pushes: up to boundMs for them to
    // finish their work, then interrupts what is left. Store files are replaced atomically, so a
    // worker cut short never leaves one half written.
    void shutdown(int boundMs);

    int workerCount() const { return m_workers.size(); }

    // 256; tests lower it through BRAMIX_TEST_SERVER_MAX_WORKERS, which nothing else reads.
    static int maxWorkers();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void workerFinished();

private:
    void startWorker(qintptr socketDescriptor);

    QList<WorkThread *> m_workers;
    QQueue<qintptr> m_waiting;
    bool m_stopping;
};
