#include "csyncrecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>

#include <dlfcn.h>
#include <unistd.h>
#include <utility>

namespace {

struct Recording
{
    QMutex lock;
    bool on = false;
    QString dir;
    QList<CSyncRecorder::Event> events;
};

Recording &recording()
{
    static Recording r;
    return r;
}

QString canonicalDir(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(dir).absoluteFilePath()) : canonical;
}

// The name as it was when called, its directory resolved (a renamed file no longer has its old
// name afterwards).
QString nameOf(const char *path)
{
    const QFileInfo info(QFile::decodeName(path));
    return canonicalDir(info.absolutePath()) + QLatin1Char('/') + info.fileName();
}

QString nameOf(int fd)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
}

bool inDir(const QString &path, const QString &dir)
{
    return path == dir || QFileInfo(path).absolutePath() == dir;
}

void note(CSyncRecorder::Event::Kind kind, const QString &path, const QString &to = QString())
{
    Recording &r = recording();
    QMutexLocker locker(&r.lock);
    if (r.on && (inDir(path, r.dir) || inDir(to, r.dir)))
        r.events.append({kind, path, to});
}

bool recordingOn()
{
    Recording &r = recording();
    QMutexLocker locker(&r.lock);
    return r.on;
}

template<class F> F next(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    if (recordingOn())
        note(CSyncRecorder::Event::DataSync, nameOf(fd));
    return real(fd);
}

int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    if (recordingOn())
        note(CSyncRecorder::Event::Sync, nameOf(fd));
    return real(fd);
}

int rename(const char *from, const char *to) __THROW
{
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    const bool on = recordingOn();
    const QString fromName = on ? nameOf(from) : QString();
    const QString toName = on ? nameOf(to) : QString();
    const int rc = real(from, to);
    if (on && rc == 0)
        note(CSyncRecorder::Event::Rename, fromName, toName);
    return rc;
}
}

void CSyncRecorder::start(const QString &dir)
{
    Recording &r = recording();
    QMutexLocker locker(&r.lock);
    r.dir = canonicalDir(dir);
    r.events.clear();
    r.on = true;
}

QList<CSyncRecorder::Event> CSyncRecorder::stop()
{
    Recording &r = recording();
    QMutexLocker locker(&r.lock);
    r.on = false;
    return std::exchange(r.events, {});
}

QString CSyncRecorder::durabilityFault(const QList<Event> &events, const QString &dir, int *renames)
{
    const QString where = canonicalDir(dir);
    *renames = 0;
    for (int i = 0; i < events.size(); ++i) {
        const Event &e = events.at(i);
        if (e.kind != Event::Rename || !inDir(e.to, where))
            continue;
        ++*renames;
        bool dataSynced = false;
        for (int j = 0; j < i && !dataSynced; ++j)
            dataSynced = events.at(j).kind != Event::Rename && events.at(j).path == e.path;
        if (!dataSynced)
            return QStringLiteral("%1 renamed to %2 before its data were synced").arg(e.path, e.to);
        bool dirSynced = false;
        for (int j = i + 1; j < events.size() && !dirSynced; ++j)
            dirSynced = events.at(j).kind == Event::Sync && events.at(j).path == where;
        if (!dirSynced)
            return QStringLiteral("%1 renamed to %2, and the directory not synced after").arg(e.path, e.to);
    }
    return QString();
}
