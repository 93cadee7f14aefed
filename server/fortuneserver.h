#pragma once

#include "cshortframereader.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QQueue>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

class QEventLoop;
class WorkThread;

// The listener of the server port. It also reads every request: each accepted connection's bytes go
// into a frame reader of its own here, in the application thread, as they arrive. Only a complete
// frame gets a worker, so a peer that sends nothing or trickles its request costs a descriptor and
// a buffer that grows with what it sent, never a worker. A connection that sends no byte within the
// wait, or no whole frame within the deadline, is closed without a reply.
//
// Change notices run in a pool of at most maxWorkers() workers; update checks, whose pushes wait on
// the client, in a pool of their own (maxPushes()), so slow readers never hold store work up. A
// pool's workers are started as they are first needed and live until the shutdown, each serving one
// request after another. The bytes of incomplete requests across all connections are capped
// (bufferCap()); a connection that would pass the cap, or whose frame is larger than any real
// request (maxRequestBytes()), is closed with nothing written. Requests in service count too: a
// worker holds several copies of its request (the decoded text, the parsed items, the client file's
// tree and its serialisation), so the bytes of requests being served are capped as well, in each
// pool (servingCap()); a request beyond it waits in its queue.
// Near the open-file limit the listener stops accepting (the peers wait in the listen queue) until
// descriptors are free again.
class FortuneServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit FortuneServer(QObject *parent = nullptr);
    ~FortuneServer() override;

    // Stops accepting and closes the connections that have sent nothing. Requests that have begun
    // to arrive may still complete, and running workers and pushes finish: up to boundMs in all.
    // Then what is left is closed, and the workers are asked to stop: lock waits, pushes and waits
    // for the peer end at once, and a notice that had not got its file's lock ends unanswered with
    // the file untouched. Their end is awaited (up to 2 s for all together, then for what still
    // writes a file), so the process never ends under a worker. Store files are replaced
    // atomically, so a worker cut short never leaves one half written.
    void shutdown(int boundMs);

    // Workers serving a request now.
    int workerCount() const { return int(m_store.busy.size() + m_push.busy.size()); }

    // Workers for change notices at once: 32. Tests and benchmarks change it through
    // BRAMIX_TEST_SERVER_MAX_WORKERS, which nothing else reads.
    static int maxWorkers();
    // Update checks with their pushes at once: 64 (BRAMIX_TEST_SERVER_MAX_PUSHES).
    static int maxPushes();
    // Bytes of incomplete requests held across all connections: 512 MiB
    // (BRAMIX_TEST_SERVER_BUFFER_CAP_KIB, in KiB).
    static qint64 bufferCap();
    // Largest request frame: 16 MiB. The largest real notice, a whole first inventory, is well
    // under 1 MiB.
    static qint64 maxRequestBytes();
    // Bytes of requests in service at once in each pool: 32 MiB, two of the largest requests, while
    // real ones (well under 1 MiB) fill every worker. One request is always let through.
    static qint64 servingCap();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void connectionReadable(QSocketDescriptor socket);
    void closeExpiredConnections();
    void resumeWhenDescriptorsFree();
    void workerServed();

private:
    struct Connection
    {
        QSocketNotifier *notifier = nullptr;
        CShortFrameReader reader;
        QByteArray head; // the first bytes, for the announced size
        qint64 buffered = 0; // bytes taken into the reader
        QDeadlineTimer silence;
        QDeadlineTimer overall;
    };
    struct Request
    {
        qintptr descriptor;
        QString text;
        qint64 bytes;
    };

    struct Pool
    {
        QQueue<Request> queue;
        QList<WorkThread *> busy;
        QList<WorkThread *> idle; // started, waiting for a request
        qint64 serving = 0; // request bytes of the busy workers
    };

    bool readFrom(qintptr descriptor, Connection *c);
    bool announcesTooMuch(const Connection &c) const;
    void dropConnection(qintptr descriptor);
    void dispatch(qintptr descriptor, const QString &text, qint64 bytes);
    void startQueued();
    void serveQueued(Pool &pool, int maxBusy);
    static bool mayServe(const QQueue<Request> &queue, qint64 serving);
    bool idle() const;
    // Every worker started, busy or idle.
    QList<WorkThread *> allWorkers() const;

    QHash<qintptr, Connection *> m_connections;
    Pool m_store;
    Pool m_push;
    QHash<WorkThread *, qint64> m_serving; // each busy worker's request bytes
    qint64 m_buffered;
    QTimer m_expiryTimer;
    QTimer m_acceptTimer; // while accepting is paused for want of descriptors
    int m_maxPending;
    QEventLoop *m_drain; // runs while a shutdown lets begun requests finish
    bool m_stopping;
    bool m_workersStopped; // the pools take no request any more
};
