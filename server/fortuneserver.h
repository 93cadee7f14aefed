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
// request (maxRequestBytes()), is closed with nothing written.
//
// Requests in service count too. A notice costs its own bytes and those of its client's file, which
// the worker reads, parses and writes whole (a hostile scan can make one of 160 MB), so the bytes in
// service are capped in each pool (servingCap()), separately for large requests (largeRequestBytes())
// and for the others: one client with a huge file is served on its own while small clients keep the
// rest of the pool, and large requests never pass small ones by more than their own share. Each side
// always lets one request through, and starts its requests in the order they came. A client is
// served by one worker at a time: its further notices wait here, not in workers, and join the queue
// when the one before is served.
//
// An update check that waits for the push pool is watched: it is closed when its peer goes, at its
// connection's deadline, and at once when the queue is full (maxQueuedChecks()) or the checks would
// hold more than their share of the open-file limit, which stays free for change notices.
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
    // Update checks with their pushes at once: 64 (BRAMIX_TEST_SERVER_MAX_PUSHES), fewer when
    // their share of the open-file limit (a quarter of what the reserve leaves) holds fewer.
    static int maxPushes();
    // Update checks waiting for the push pool: 1024, and no more than is left of their share of
    // the open-file limit. Beyond it a check is closed at once.
    static int maxQueuedChecks();
    // Bytes of incomplete requests held across all connections: 512 MiB
    // (BRAMIX_TEST_SERVER_BUFFER_CAP_KIB, in KiB).
    static qint64 bufferCap();
    // Largest request frame: 16 MiB. The largest real notice, a whole first inventory, is well
    // under 1 MiB.
    static qint64 maxRequestBytes();
    // Bytes in service at once in each pool, for large requests and for the others each: 32 MiB,
    // two of the largest requests, while real notices with their files (well under 1 MiB) fill
    // every worker.
    static qint64 servingCap();
    // A request costing more than this (8 MiB, request and file) is a large one.
    static qint64 largeRequestBytes();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void connectionReadable(QSocketDescriptor socket);
    void queuedCheckReadable(QSocketDescriptor socket);
    void sweep();
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
        qintptr descriptor = -1;
        QString text;
        qint64 bytes = 0; // the text's, held while it waits
        qint64 cost = 0; // counted in service: the text's bytes and the client file's
        QString client; // a change notice's client; empty for any other request
        QDeadlineTimer deadline; // the connection's
        QSocketNotifier *watch = nullptr; // a waiting update check's end of connection
        quint64 order = 0; // when it joined the queue
    };

    struct Pool
    {
        // Requests ready to be served, each side in the order they came.
        QQueue<Request> small;
        QQueue<Request> large;
        QList<WorkThread *> busy;
        QList<WorkThread *> idle; // started, waiting for a request
        qint64 servingSmall = 0; // costs of the busy workers' requests
        qint64 servingLarge = 0;
        int queued() const { return int(small.size() + large.size()); }
    };
    struct InService
    {
        Pool *pool = nullptr;
        qint64 cost = 0;
        bool large = false;
        QString client;
    };

    bool readFrom(qintptr descriptor, Connection *c);
    bool announcesTooMuch(const Connection &c) const;
    void dropConnection(qintptr descriptor);
    void dispatch(qintptr descriptor, const QString &text, qint64 bytes, const QDeadlineTimer &deadline);
    void admitUpdateCheck(Request request);
    void enqueue(Pool &pool, Request request);
    void startQueued();
    void serveQueued(Pool &pool, int maxBusy);
    bool startWorker(Pool &pool, const Request &request, bool large);
    void releaseClient(const QString &client);
    void closeRequest(const Request &request);
    bool dropQueuedCheck(qintptr descriptor);
    void startSweeping();
    static bool fits(qint64 serving, qint64 cost);
    bool idle() const;
    // Every worker started, busy or idle.
    QList<WorkThread *> allWorkers() const;

    QHash<qintptr, Connection *> m_connections;
    Pool m_store;
    Pool m_push;
    QHash<WorkThread *, InService> m_serving;
    // Clients with a notice in service or ready, each with its further notices in the order they came.
    QHash<QString, QQueue<Request>> m_clients;
    quint64 m_order;
    qint64 m_buffered;
    QTimer m_expiryTimer;
    QTimer m_acceptTimer; // while accepting is paused for want of descriptors
    int m_maxPending;
    QEventLoop *m_drain; // runs while a shutdown lets begun requests finish
    bool m_stopping;
    bool m_workersStopped; // the pools take no request any more
};
