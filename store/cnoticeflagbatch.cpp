#include "cnoticeflagbatch.h"

#include <QMutex>
#include <QWaitCondition>

#include <map>

namespace {

struct Request
{
    CNoticeFlagBatch::Flip flip;
    int rc = -1;
    QByteArray written;
    bool done = false;
};

struct Batch
{
    QList<Request *> pending;
    bool writing = false;
    QWaitCondition finished;
};

QMutex &batchLock()
{
    static QMutex lock;
    return lock;
}

// One per file, kept for the process's lifetime (a process writes one list); map nodes never move,
// so a reference stays good while others are added.
Batch &batchOf(const QString &path)
{
    static std::map<QString, Batch> batches;
    return batches.try_emplace(path).first->second;
}

} // namespace

int CNoticeFlagBatch::flip(const QString &path, const Flip &flip, const Writer &writer, QByteArray *written)
{
    Request request;
    request.flip = flip;
    QMutexLocker locker(&batchLock());
    Batch &batch = batchOf(path);
    batch.pending.append(&request);
    while (!request.done) {
        if (batch.writing) {
            batch.finished.wait(&batchLock());
            continue;
        }
        // No write under way: this caller writes everything queued so far, its own flip included.
        batch.writing = true;
        QList<Request *> taken;
        taken.swap(batch.pending);
        QList<Flip> flips;
        flips.reserve(taken.size());
        for (const Request *r : std::as_const(taken))
            flips.append(r->flip);
        locker.unlock();
        QByteArray bytes;
        const int rc = writer(flips, &bytes);
        locker.relock();
        for (Request *r : std::as_const(taken)) {
            r->rc = rc;
            r->written = bytes;
            r->done = true;
        }
        batch.writing = false;
        batch.finished.wakeAll();
    }
    if (written)
        *written = request.written;
    return request.rc;
}
