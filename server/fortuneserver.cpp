#include "fortuneserver.h"

#include "workthread.h"

#include <QDeadlineTimer>

#include <unistd.h>

namespace {
const int defaultMaxWorkers = 256;
// A worker needs little stack (documents live on the heap). Small stacks stay in the C library's
// cache of thread stacks, so a thread per connection costs no fresh mapping each time.
const uint workerStackSize = 512 * 1024;
} // namespace

FortuneServer::FortuneServer(QObject *parent)
    : QTcpServer(parent)
    , m_stopping(false)
{ }

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
    if (m_workers.size() >= maxWorkers()) {
        // Accepted in the same batch as the last free worker: it waits for one to end. Nothing more
        // is accepted until then; the kernel's backlog holds the rest.
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
