#include "fortuneserver.h"

#include "cmessages.h"
#include "cpcconfig.h"
#include "cshortframe.h"
#include "workthread.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const int defaultMaxWorkers = 32;
const int defaultMaxPushes = 64;
const int defaultMaxQueuedChecks = 1024;
const qint64 defaultBufferCap = qint64(512) * 1024 * 1024;
const qint64 requestLimit = qint64(16) * 1024 * 1024;
const qint64 defaultServingCap = qint64(32) * 1024 * 1024;
const qint64 largeRequest = qint64(8) * 1024 * 1024;
// A worker needs little stack (documents live on the heap).
const uint workerStackSize = 512 * 1024;
// One readable connection is read at most this much at a time, so that a fast sender cannot keep
// the event loop from the others.
const int readChunk = 64 * 1024;
const int chunksPerWakeup = 4;

// How often a listener that stopped accepting for want of descriptors looks again.
const int acceptPauseMs = 100;

// A check being pushed holds its connection, the file being sent and the wake-up descriptors of two
// threads (the worker's and the push's); one waiting for the pool holds its connection only.
const qint64 descriptorsPerPush = 4;

// Descriptors kept free for the workers' files. Accepting stops short of the limit: an accept that
// fails for want of a descriptor leaves the listen socket readable, and the event loop would spin on
// it until one is freed.
qint64 descriptorReserve(qint64 limit)
{
    return qBound(qint64(4), limit / 8, qint64(256));
}

qint64 descriptorLimit()
{
    rlimit lim {};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    return qint64(lim.rlim_cur);
}

// Update checks together hold at most a quarter of the descriptors the reserve leaves, so that
// checks whose clients are slow to take their push never keep change notices out: so many pushes
// at once, and what is left of the share for checks waiting for them.
qint64 checkDescriptorShare()
{
    const qint64 limit = descriptorLimit();
    return (limit - descriptorReserve(limit)) / 4;
}

int pushesAtOnce(int maxPushes)
{
    return int(qBound(qint64(1), checkDescriptorShare() / descriptorsPerPush, qint64(maxPushes)));
}

int waitingChecksRoom(int maxQueued, int maxPushes)
{
    const qint64 left = checkDescriptorShare() - qint64(pushesAtOnce(maxPushes)) * descriptorsPerPush;
    return int(qBound(qint64(0), left, qint64(maxQueued)));
}

// The client a change notice names: its text after "changelog:" up to the first "^" (or a further
// ":"), when it can name a client file; else empty. A UUID in braces has 38 characters: a longer
// text names no file, and is not kept as a key.
QString clientOf(const QString &text)
{
    const QString uuid = CMessages::changeNoticeUuid(text, 64).toString();
    return CPcConfig::pathOf(uuid).isEmpty() ? QString() : uuid;
}

int envCount(const char *name, int fallback)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}
} // namespace

FortuneServer::FortuneServer(QObject *parent)
    : QTcpServer(parent)
    , m_order(0)
    , m_buffered(0)
    , m_drain(nullptr)
    , m_stopping(false)
    , m_workersStopped(false)
{
    // Expiries are checked in steps of a tenth of the shorter wait, so a connection is closed at
    // most that much late, and thousands of open connections cost one sweep per step.
    m_expiryTimer.setInterval(qBound(10, qMin(WorkThread::waitMs(), WorkThread::deadlineMs()) / 10, 1000));
    connect(&m_expiryTimer, &QTimer::timeout, this, &FortuneServer::sweep);
    m_maxPending = maxPendingConnections();
    m_acceptTimer.setInterval(acceptPauseMs);
    connect(&m_acceptTimer, &QTimer::timeout, this, &FortuneServer::resumeWhenDescriptorsFree);
}

FortuneServer::~FortuneServer()
{
    // The workers are our children: none may still run when they are deleted.
    shutdown(0);
    for (WorkThread *worker : allWorkers())
        worker->wait();
}

int FortuneServer::maxWorkers()
{
    static const int limit = envCount("BRAMIX_TEST_SERVER_MAX_WORKERS", defaultMaxWorkers);
    return limit;
}

int FortuneServer::maxPushes()
{
    static const int limit = envCount("BRAMIX_TEST_SERVER_MAX_PUSHES", defaultMaxPushes);
    return limit;
}

int FortuneServer::maxQueuedChecks()
{
    return defaultMaxQueuedChecks;
}

qint64 FortuneServer::bufferCap()
{
    static const qint64 cap = [] {
        const int kib = envCount("BRAMIX_TEST_SERVER_BUFFER_CAP_KIB", 0);
        return kib > 0 ? qint64(kib) * 1024 : defaultBufferCap;
    }();
    return cap;
}

qint64 FortuneServer::maxRequestBytes()
{
    return requestLimit;
}

qint64 FortuneServer::servingCap()
{
    return defaultServingCap;
}

qint64 FortuneServer::largeRequestBytes()
{
    return largeRequest;
}

void FortuneServer::incomingConnection(qintptr socketDescriptor)
{
    if (m_stopping) {
        ::close(int(socketDescriptor));
        return;
    }
    const int fd = int(socketDescriptor);
    // Descriptors are handed out lowest first: a high one means that all below it are taken.
    const qint64 limit = descriptorLimit();
    if (fd >= limit - descriptorReserve(limit) && !m_acceptTimer.isActive()) {
        // The listener accepts in a loop until none is left; no pending connection allowed ends it.
        setMaxPendingConnections(0);
        pauseAccepting();
        m_acceptTimer.start();
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    Connection *c = new Connection;
    c->notifier = new QSocketNotifier(socketDescriptor, QSocketNotifier::Read, this);
    c->silence = QDeadlineTimer(WorkThread::waitMs());
    c->overall = QDeadlineTimer(WorkThread::deadlineMs());
    connect(c->notifier, &QSocketNotifier::activated, this, &FortuneServer::connectionReadable);
    m_connections.insert(socketDescriptor, c);
    startSweeping();
}

void FortuneServer::startSweeping()
{
    if (!m_expiryTimer.isActive())
        m_expiryTimer.start();
}

void FortuneServer::connectionReadable(QSocketDescriptor socket)
{
    const qintptr descriptor = qintptr(socket);
    Connection *c = m_connections.value(descriptor);
    if (!c)
        return;
    if (!readFrom(descriptor, c))
        dropConnection(descriptor);
}

// Reads what has arrived into the connection's frame reader. False when the connection is to be
// closed without a reply (its end, an error, a refused frame); a complete frame is dispatched.
bool FortuneServer::readFrom(qintptr descriptor, Connection *c)
{
    QByteArray chunk;
    for (int round = 0; round < chunksPerWakeup; ++round) {
        chunk.resize(readChunk);
        const ssize_t n = ::read(int(descriptor), chunk.data(), size_t(chunk.size()));
        if (n == 0)
            return false; // the peer ended before its frame did
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        chunk.resize(qsizetype(n));
        // Memory grows with what arrives; across all connections it stays under the cap.
        if (m_buffered + n > bufferCap())
            return false;
        c->silence = QDeadlineTimer(WorkThread::waitMs());
        if (c->head.size() < 6)
            c->head.append(chunk.left(6 - c->head.size()));
        const qsizetype before = chunk.size();
        const CShortFrameReader::Status status = c->reader.readFrom(chunk);
        const qint64 taken = before - chunk.size();
        c->buffered += taken;
        m_buffered += taken;
        if (status == CShortFrameReader::Error || announcesTooMuch(*c))
            return false;
        if (status == CShortFrameReader::Complete) {
            // Bytes after the frame are not read: one connection carries one request.
            const qint64 bytes = c->buffered;
            const QString text = c->reader.text();
            const QDeadlineTimer deadline = c->overall;
            c->buffered = 0;
            m_buffered -= bytes;
            // The worker's socket watches the descriptor from now on. The notifier is the sender of
            // this call: disabled now, deleted later.
            c->notifier->setEnabled(false);
            c->notifier->deleteLater();
            delete c;
            m_connections.remove(descriptor);
            dispatch(descriptor, text, qint64(text.size()) * 2, deadline);
            return true;
        }
    }
    return true;
}

// A frame whose count (the extended form's 32-bit one) is larger than any request is refused at its
// header, before its bytes are taken in.
bool FortuneServer::announcesTooMuch(const Connection &c) const
{
    if (c.buffered > maxRequestBytes() + 6)
        return true;
    if (c.head.size() < 6 || qFromBigEndian<quint16>(c.head.constData()) != CShortFrame::ExtendedMark)
        return false;
    return qint64(qFromBigEndian<quint32>(c.head.constData() + 2)) > maxRequestBytes();
}

void FortuneServer::dropConnection(qintptr descriptor)
{
    Connection *c = m_connections.take(descriptor);
    if (!c)
        return;
    m_buffered -= c->buffered;
    // The notifier may be the sender of the current call: disabled now, deleted later.
    c->notifier->setEnabled(false);
    c->notifier->deleteLater();
    delete c;
    ::close(int(descriptor));
    if (m_drain && idle())
        m_drain->quit();
}

void FortuneServer::sweep()
{
    QList<qintptr> expired;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (it.value()->silence.hasExpired() || it.value()->overall.hasExpired())
            expired.append(it.key());
    }
    for (qintptr descriptor : std::as_const(expired))
        dropConnection(descriptor);

    // Waiting update checks: at their connection's deadline, or once their peer has gone (those
    // whose peer sent more than its request are no longer watched by a notifier), they are closed.
    expired.clear();
    for (const QQueue<Request> *queue : {&m_push.small, &m_push.large}) {
        for (const Request &r : *queue) {
            if (r.deadline.hasExpired() || WorkThread::peerHasClosed(r.descriptor))
                expired.append(r.descriptor);
        }
    }
    for (qintptr descriptor : std::as_const(expired))
        dropQueuedCheck(descriptor);

    // A worker that could not be started left its requests waiting: try again.
    startQueued();
    if (m_connections.isEmpty() && m_store.queued() == 0 && m_push.queued() == 0)
        m_expiryTimer.stop();
}

void FortuneServer::resumeWhenDescriptorsFree()
{
    if (m_stopping || !isListening()) {
        m_acceptTimer.stop();
        return;
    }
    // The lowest free descriptor tells whether the reserve is free again.
    const int probe = ::fcntl(int(socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (probe < 0)
        return;
    ::close(probe);
    const qint64 limit = descriptorLimit();
    if (probe < limit - descriptorReserve(limit)) {
        m_acceptTimer.stop();
        setMaxPendingConnections(m_maxPending);
        resumeAccepting();
    }
}

void FortuneServer::dispatch(qintptr descriptor, const QString &text, qint64 bytes, const QDeadlineTimer &deadline)
{
    // Waiting requests are held whole; they count against the cap until a worker takes them.
    m_buffered += bytes;
    Request request;
    request.descriptor = descriptor;
    request.text = text;
    request.bytes = bytes;
    request.deadline = deadline;
    if (WorkThread::isUpdateCheck(text)) {
        admitUpdateCheck(request);
        return;
    }
    request.client = clientOf(text);
    if (!request.client.isEmpty()) {
        auto known = m_clients.find(request.client);
        if (known != m_clients.end()) {
            known->enqueue(request); // after the notice of this client that is ahead
            return;
        }
        m_clients.insert(request.client, QQueue<Request>());
    }
    enqueue(m_store, request);
    startQueued();
}

void FortuneServer::admitUpdateCheck(Request request)
{
    // A peer that has gone gets no push, and no record of one.
    if (WorkThread::peerHasClosed(request.descriptor)) {
        closeRequest(request);
        return;
    }
    if (m_push.busy.size() >= pushesAtOnce(maxPushes())
        && m_push.queued() >= waitingChecksRoom(maxQueuedChecks(), maxPushes())) {
        closeRequest(request);
        return;
    }
    request.watch = new QSocketNotifier(request.descriptor, QSocketNotifier::Read, this);
    connect(request.watch, &QSocketNotifier::activated, this, &FortuneServer::queuedCheckReadable);
    enqueue(m_push, request);
    startQueued();
    startSweeping();
}

// The request joins its pool's queue, costed by its bytes and its client file's size now.
void FortuneServer::enqueue(Pool &pool, Request request)
{
    request.cost = request.bytes;
    if (!request.client.isEmpty())
        request.cost += QFileInfo(CPcConfig::pathOf(request.client)).size();
    request.order = m_order++;
    (request.cost > largeRequestBytes() ? pool.large : pool.small).enqueue(request);
}

void FortuneServer::startQueued()
{
    if (m_workersStopped)
        return;
    serveQueued(m_store, maxWorkers());
    serveQueued(m_push, pushesAtOnce(maxPushes()));
}

// Each side starts its requests in the order they came: one that does not fit beside those in
// service waits, and the others of its side behind it with it, so it is not passed over for ever.
// Between the sides, the request that came first starts first.
void FortuneServer::serveQueued(Pool &pool, int maxBusy)
{
    while (pool.busy.size() < maxBusy) {
        const bool smallFits = !pool.small.isEmpty() && fits(pool.servingSmall, pool.small.head().cost);
        const bool largeFits = !pool.large.isEmpty() && fits(pool.servingLarge, pool.large.head().cost);
        if (!smallFits && !largeFits)
            return;
        const bool large = largeFits && (!smallFits || pool.large.head().order < pool.small.head().order);
        Request request = (large ? pool.large : pool.small).dequeue();
        m_buffered -= request.bytes;
        if (request.watch) {
            // The worker's socket watches the descriptor from now on.
            request.watch->setEnabled(false);
            request.watch->deleteLater();
            request.watch = nullptr;
        }
        if (!startWorker(pool, request, large))
            return; // out of threads: the rest waits for the next sweep
    }
}

bool FortuneServer::startWorker(Pool &pool, const Request &request, bool large)
{
    WorkThread *worker = nullptr;
    if (!pool.idle.isEmpty()) {
        // The worker that served last: what it used is most likely still at hand.
        worker = pool.idle.takeLast();
    } else {
        worker = new WorkThread(this);
        worker->setStackSize(workerStackSize);
        connect(worker, &WorkThread::served, this, &FortuneServer::workerServed, Qt::QueuedConnection);
        worker->start();
        if (!worker->isRunning()) {
            // No thread to be had: the request is not served, and takes nothing with it.
            delete worker;
            ::close(int(request.descriptor));
            releaseClient(request.client);
            startSweeping(); // which tries again
            return false;
        }
    }
    pool.busy.append(worker);
    m_serving.insert(worker, InService {&pool, request.cost, large, request.client});
    (large ? pool.servingLarge : pool.servingSmall) += request.cost;
    worker->serve(request.descriptor, request.text);
    return true;
}

bool FortuneServer::fits(qint64 serving, qint64 cost)
{
    return serving == 0 || serving + cost <= servingCap();
}

// The client's notice has been served (or dropped): its next one, if any, joins the queue.
void FortuneServer::releaseClient(const QString &client)
{
    if (client.isEmpty())
        return;
    auto known = m_clients.find(client);
    if (known == m_clients.end())
        return;
    if (known->isEmpty()) {
        m_clients.erase(known);
        return;
    }
    enqueue(m_store, known->dequeue());
}

// Closes a waiting request's connection with nothing written.
void FortuneServer::closeRequest(const Request &request)
{
    m_buffered -= request.bytes;
    if (request.watch) {
        request.watch->setEnabled(false);
        request.watch->deleteLater();
    }
    ::close(int(request.descriptor));
}

void FortuneServer::queuedCheckReadable(QSocketDescriptor socket)
{
    const qintptr descriptor = qintptr(socket);
    if (WorkThread::peerHasClosed(descriptor)) {
        dropQueuedCheck(descriptor);
        return;
    }
    // More bytes after the request, which are never read: the sweep looks for the end instead.
    if (auto *watch = qobject_cast<QSocketNotifier *>(sender()))
        watch->setEnabled(false);
}

bool FortuneServer::dropQueuedCheck(qintptr descriptor)
{
    for (QQueue<Request> *queue : {&m_push.small, &m_push.large}) {
        for (qsizetype i = 0; i < queue->size(); ++i) {
            if (queue->at(i).descriptor == descriptor) {
                closeRequest(queue->takeAt(i));
                if (m_drain && idle())
                    m_drain->quit();
                return true;
            }
        }
    }
    return false;
}

void FortuneServer::workerServed()
{
    WorkThread *worker = qobject_cast<WorkThread *>(sender());
    if (!worker)
        return;
    const auto it = m_serving.constFind(worker);
    if (it != m_serving.cend()) {
        const InService done = it.value();
        m_serving.erase(it);
        (done.large ? done.pool->servingLarge : done.pool->servingSmall) -= done.cost;
        done.pool->busy.removeOne(worker);
        done.pool->idle.append(worker);
        releaseClient(done.client);
    }
    startQueued();
    if (m_drain && idle())
        m_drain->quit();
}

bool FortuneServer::idle() const
{
    return m_connections.isEmpty() && m_store.queued() == 0 && m_push.queued() == 0 && m_clients.isEmpty()
        && m_store.busy.isEmpty() && m_push.busy.isEmpty();
}

QList<WorkThread *> FortuneServer::allWorkers() const
{
    return m_store.busy + m_store.idle + m_push.busy + m_push.idle;
}

void FortuneServer::shutdown(int boundMs)
{
    m_stopping = true;
    m_acceptTimer.stop();
    close();
    // Connections that have sent nothing are closed; begun requests may still complete.
    QList<qintptr> silent;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (it.value()->buffered == 0)
            silent.append(it.key());
    }
    for (qintptr descriptor : std::as_const(silent))
        dropConnection(descriptor);

    if (boundMs > 0 && !idle()) {
        QEventLoop drain;
        m_drain = &drain;
        QTimer::singleShot(boundMs, &drain, &QEventLoop::quit);
        drain.exec();
        m_drain = nullptr;
    }

    // What is left now is a peer that keeps its request or a push from ending.
    const QList<qintptr> open = m_connections.keys();
    for (qintptr descriptor : open)
        dropConnection(descriptor);
    m_expiryTimer.stop();
    for (Pool *pool : {&m_store, &m_push}) {
        for (QQueue<Request> *queue : {&pool->small, &pool->large}) {
            while (!queue->isEmpty())
                closeRequest(queue->dequeue());
        }
    }
    for (QQueue<Request> &parked : m_clients) {
        while (!parked.isEmpty())
            closeRequest(parked.dequeue());
    }
    m_clients.clear();
    m_buffered = 0;
    m_workersStopped = true;
    const QList<WorkThread *> workers = allWorkers();
    for (WorkThread *worker : workers)
        worker->requestStop();
    // Asked to stop, a worker ends within moments: its waits end, and so does a push. One bound
    // for all of them.
    const QDeadlineTimer bound(2000);
    for (WorkThread *worker : workers)
        worker->wait(bound);
    // One still running is in the middle of a file's replacement, which must not be cut short.
    for (WorkThread *worker : workers)
        worker->wait();
}
