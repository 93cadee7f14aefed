#include "fortuneserver.h"

#include "workthread.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace {
const int defaultMaxWorkers = 256;
// A worker needs little stack (documents live on the heap). Small stacks stay in the C library's
// cache of thread stacks, so a thread per connection costs no fresh mapping each time.
const uint workerStackSize = 512 * 1024;
} // namespace

FortuneServer::FortuneServer(QObject *parent)
    : QTcpServer(parent)
    , m_nextSerial(0)
    , m_stopping(false)
{
    m_silenceTimer.setSingleShot(true);
    connect(&m_silenceTimer, &QTimer::timeout, this, &FortuneServer::closeSilentConnections);
}

FortuneServer::~FortuneServer()
{
    // The workers are our children: none may still run when they are deleted.
    shutdown(0);
    for (WorkThread *worker : std::as_const(m_workers))
        worker->wait();
}

int FortuneServer::maxWorkers()
{
    static const int limit = [] {
        bool ok = false;
        const int n = qEnvironmentVariableIntValue("BRAMIX_TEST_SERVER_MAX_WORKERS", &ok);
        return ok && n > 0 ? n : defaultMaxWorkers;
    }();
    return limit;
}

void FortuneServer::incomingConnection(qintptr socketDescriptor)
{
    if (m_stopping) {
        ::close(int(socketDescriptor));
        return;
    }
    // Nothing is read here: the notifier only tells when the request (or the peer's end) arrives.
    QSocketNotifier *notifier = new QSocketNotifier(socketDescriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &FortuneServer::connectionReadable);
    const quint64 serial = ++m_nextSerial;
    m_idle.insert(socketDescriptor, IdleConnection {notifier, serial});
    m_expiries.enqueue(IdleExpiry {socketDescriptor, serial, QDeadlineTimer(WorkThread::waitMs())});
    if (!m_silenceTimer.isActive())
        scheduleSilenceCheck();
}

void FortuneServer::connectionReadable(QSocketDescriptor socket)
{
    const qintptr descriptor = qintptr(socket);
    const auto it = m_idle.find(descriptor);
    if (it == m_idle.end())
        return;
    // Disabled at once (the worker's socket watches the descriptor from now on), deleted later:
    // the notifier is the sender of this call. Its expiry entry goes stale with the serial.
    it->notifier->setEnabled(false);
    it->notifier->deleteLater();
    m_idle.erase(it);
    serve(descriptor);
}

void FortuneServer::closeSilentConnections()
{
    while (!m_expiries.isEmpty() && m_expiries.head().silence.hasExpired()) {
        const IdleExpiry expiry = m_expiries.dequeue();
        const auto it = m_idle.find(expiry.descriptor);
        if (it == m_idle.end() || it->serial != expiry.serial)
            continue; // served already
        delete it->notifier; // not the sender here: a timer is
        m_idle.erase(it);
        ::close(int(expiry.descriptor));
    }
    scheduleSilenceCheck();
}

void FortuneServer::scheduleSilenceCheck()
{
    // Entries of connections that have been served are dropped as they come to the front.
    while (!m_expiries.isEmpty()) {
        const IdleExpiry &head = m_expiries.head();
        const auto it = m_idle.constFind(head.descriptor);
        if (it != m_idle.constEnd() && it->serial == head.serial)
            break;
        m_expiries.dequeue();
    }
    if (m_expiries.isEmpty()) {
        m_silenceTimer.stop();
        return;
    }
    m_silenceTimer.start(int(qMax<qint64>(0, m_expiries.head().silence.remainingTime())));
}

void FortuneServer::serve(qintptr socketDescriptor)
{
    if (m_workers.size() >= maxWorkers()) {
        // Every worker is busy: it waits for one to end. Nothing more is accepted until then; the
        // kernel's backlog holds the rest.
        m_waiting.enqueue(socketDescriptor);
        pauseAccepting();
        return;
    }
    startWorker(socketDescriptor);
}

void FortuneServer::startWorker(qintptr socketDescriptor)
{
    WorkThread *worker = new WorkThread(socketDescriptor, this);
    worker->setStackSize(workerStackSize);
    connect(worker, &QThread::finished, this, &FortuneServer::workerFinished);
    m_workers.append(worker);
    if (m_workers.size() >= maxWorkers())
        pauseAccepting();
    worker->start();
}

void FortuneServer::workerFinished()
{
    WorkThread *worker = qobject_cast<WorkThread *>(sender());
    if (!worker || !m_workers.removeOne(worker))
        return;
    worker->deleteLater();
    if (m_stopping)
        return;
    if (!m_waiting.isEmpty())
        startWorker(m_waiting.dequeue());
    else if (m_workers.size() < maxWorkers())
        resumeAccepting();
}

void FortuneServer::shutdown(int boundMs)
{
    m_stopping = true;
    close();
    while (!m_waiting.isEmpty())
        ::close(int(m_waiting.dequeue()));
    m_silenceTimer.stop();
    m_expiries.clear();
    for (auto it = m_idle.cbegin(); it != m_idle.cend(); ++it) {
        delete it->notifier;
        ::close(int(it.key()));
    }
    m_idle.clear();

    for (WorkThread *worker : std::as_const(m_workers))
        worker->requestStop(WorkThread::SoftStop);
    QDeadlineTimer bound(boundMs);
    for (WorkThread *worker : std::as_const(m_workers))
        worker->wait(bound);

    // What is still running now is a peer that keeps its request or a push from ending.
    for (WorkThread *worker : std::as_const(m_workers))
        worker->requestStop(WorkThread::HardStop);
    for (WorkThread *worker : std::as_const(m_workers))
        worker->wait(QDeadlineTimer(2000));
}
