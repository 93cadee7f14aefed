#include "cnewclientwriter.h"

#include "cpcconfig.h"

#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

namespace {

struct Request
{
    CSet::NewPC client;
    QString answer;
    bool done = false;
    CNewClientWriter::Result result = CNewClientWriter::WriteFailed;
};

struct Queue
{
    QMutex lock;
    QWaitCondition written;
    QList<Request *> pending;
    bool writing = false;
    // One thread for every batch, so the parsed lists all come from one heap that is reused.
    QThreadPool pool;

    Queue() { pool.setMaxThreadCount(1); }
};

Queue &queue()
{
    static Queue q;
    return q;
}

// Looking up, listing and filling the files happen under this lock (on top of the store's file
// lock, which keeps the server's writes apart).
QMutex &listLock()
{
    static QMutex lock;
    return lock;
}

void writeBatch(const QList<Request *> &batch)
{
    QMutexLocker locker(&listLock());
    CSet list;
    if (list.openList() != 1) {
        for (Request *r : batch)
            r->result = CNewClientWriter::ListMissing;
        return;
    }
    // A list whose root is not "pclist" counts every client as known: nothing is added to it.
    if (list.findPC(batch.first()->client.uuid) < 0) {
        for (Request *r : batch)
            r->result = CNewClientWriter::Known;
        return;
    }
    QList<CSet::NewPC> clients;
    clients.reserve(batch.size());
    for (const Request *r : batch)
        clients.append(r->client);
    QStringList addedList;
    if (list.addPCs(clients, &addedList) < 0) {
        for (Request *r : batch)
            r->result = CNewClientWriter::WriteFailed;
        return;
    }
    QSet<QString> added(addedList.cbegin(), addedList.cend());
    for (Request *r : batch) {
        // The first of two requests for one client takes the file, the other is a known client.
        if (!added.remove(r->client.uuid)) {
            r->result = CNewClientWriter::Known;
            // A listed client whose file was never filled (the template was missing, or the console
            // ended between the two) gets it now; a file that holds anything stays as it is.
            if (QFileInfo(CPcConfig::pathOf(r->client.uuid)).size() == 0) {
                CPcConfig config(r->client.uuid);
                if (config.open() == 1)
                    config.fillIfEmpty(r->answer);
            }
            continue;
        }
        CPcConfig config(r->client.uuid);
        if (config.open() == 1) {
            config.createFromTemplate(r->answer);
            r->result = CNewClientWriter::Added;
        } else {
            r->result = CNewClientWriter::AddedWithoutFile;
        }
    }
}

// Writes batches until no client waits.
void drain()
{
    Queue &q = queue();
    for (;;) {
        QList<Request *> batch;
        {
            QMutexLocker locker(&q.lock);
            if (q.pending.isEmpty()) {
                q.writing = false;
                return;
            }
            batch.swap(q.pending);
        }
        writeBatch(batch);
        QMutexLocker locker(&q.lock);
        for (Request *r : std::as_const(batch))
            r->done = true;
        q.written.wakeAll();
    }
}

} // namespace

CNewClientWriter::Result CNewClientWriter::record(const CSet::NewPC &client, const QString &answer)
{
    Request request;
    request.client = client;
    request.answer = answer;
    Queue &q = queue();
    QMutexLocker locker(&q.lock);
    q.pending.append(&request);
    if (!q.writing) {
        q.writing = true;
        q.pool.start(drain);
    }
    while (!request.done)
        q.written.wait(&q.lock);
    return request.result;
}
