#include "cnewclientwriter.h"

#include "cpcconfig.h"

#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

namespace {

struct Request
{
    const CSet::NewPC *client = nullptr;
    const QString *answer = nullptr;
    // The stage changes under the work's lock only; the rest is written by the one thread that has
    // the request, and read by the probe once the stage is Done.
    enum Stage { ToList, ToFill, Done } stage = ToList;
    bool toFill = false; // the file is to be filled once listed
    bool onlyIfEmpty = false; // a known client whose file may never have been filled
    CNewClientWriter::Result result = CNewClientWriter::WriteFailed;
};

struct Work
{
    QMutex lock;
    QWaitCondition arrived; // work for the workers
    QWaitCondition changed; // a request went on a stage
    QList<Request *> toList;
    QList<Request *> toFill;
    bool listing = false;
    QList<QThread *> workers; // running; they serve until the program ends
};

// Never destroyed: workers wait on it while the program exits.
Work &work()
{
    static Work *w = new Work;
    return *w;
}

// Looking up and listing happen under this lock (on top of the store's file lock, which keeps the
// server's writes apart).
QMutex &listLock()
{
    static QMutex lock;
    return lock;
}

// Sets each request's result, and whether its file is to be filled.
void listBatch(const QList<Request *> &batch)
{
    QMutexLocker locker(&listLock());
    const auto end = [&](CNewClientWriter::Result result) {
        for (Request *r : batch)
            r->result = result;
    };
    CSet list;
    if (list.openList() != 1)
        return end(CNewClientWriter::ListMissing);
    // A list whose root is not "pclist" counts every client as known: nothing is added to it.
    if (list.findPC(batch.first()->client->uuid) < 0)
        return end(CNewClientWriter::Known);
    QList<CSet::NewPC> clients;
    clients.reserve(batch.size());
    for (const Request *r : batch)
        clients.append(*r->client);
    QStringList addedList;
    if (list.addPCs(clients, &addedList) < 0)
        return end(CNewClientWriter::WriteFailed);
    QSet<QString> added(addedList.cbegin(), addedList.cend());
    for (Request *r : batch) {
        // The first of two requests for one client takes the file, the other is a known client.
        if (added.remove(r->client->uuid)) {
            r->toFill = true;
            continue;
        }
        r->result = CNewClientWriter::Known;
        // A listed client whose file was never filled (the template was missing, or the console
        // ended between the two) gets it now; a file that holds anything stays as it is.
        r->onlyIfEmpty = QFileInfo(CPcConfig::pathOf(r->client->uuid)).size() == 0;
        r->toFill = r->onlyIfEmpty;
    }
}

void fillFile(Request *r)
{
    CPcConfig config(r->client->uuid);
    const bool opened = config.open() == 1;
    if (r->onlyIfEmpty) {
        if (opened)
            config.fillIfEmpty(*r->answer);
        return;
    }
    if (opened)
        config.createFromTemplate(*r->answer);
    r->result = opened ? CNewClientWriter::Added : CNewClientWriter::AddedWithoutFile;
}

// Does one piece of work, a batch to list (one at a time) before a file to fill; false when there is
// none to take. Called and returns with the lock held.
bool step(Work &w, QMutexLocker<QMutex> &locker)
{
    if (!w.toList.isEmpty() && !w.listing) {
        QList<Request *> batch;
        batch.swap(w.toList);
        w.listing = true;
        locker.unlock();
        listBatch(batch);
        locker.relock();
        w.listing = false;
        for (Request *r : std::as_const(batch)) {
            r->stage = r->toFill ? Request::ToFill : Request::Done;
            if (r->toFill)
                w.toFill.append(r);
        }
        w.arrived.wakeAll();
        w.changed.wakeAll();
        return true;
    }
    if (w.toFill.isEmpty())
        return false;
    Request *r = w.toFill.takeFirst();
    locker.unlock();
    fillFile(r);
    locker.relock();
    r->stage = Request::Done;
    w.changed.wakeAll();
    return true;
}

void serve()
{
    Work &w = work();
    QMutexLocker locker(&w.lock);
    for (;;) {
        if (!step(w, locker))
            w.arrived.wait(&w.lock);
    }
}

// Starts the workers that are missing; one that cannot start is tried again with the next client.
void startWorkers(Work &w)
{
    while (w.workers.size() < CNewClientWriter::Workers) {
        QThread *thread = QThread::create(serve);
        thread->start();
        if (!thread->isRunning() && !thread->isFinished()) {
            delete thread;
            return;
        }
        w.workers.append(thread);
    }
}

} // namespace

CNewClientWriter::Result CNewClientWriter::record(const CSet::NewPC &client, const QString &answer)
{
    Request request;
    request.client = &client;
    request.answer = &answer;
    Work &w = work();
    QMutexLocker locker(&w.lock);
    w.toList.append(&request);
    startWorkers(w);
    w.arrived.wakeOne();
    while (request.stage != Request::Done) {
        // Without a worker the waiting probes take the work, this one's and the others'.
        if (w.workers.isEmpty() && step(w, locker))
            continue;
        w.changed.wait(&w.lock);
    }
    return request.result;
}
