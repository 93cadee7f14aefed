#include "catomicfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary's name is ours alone: hidden, with a random part and a suffix no other program or
// person gives a file, so the start-up sweep can tell it from anything set aside beside the target.
const char kTemporarySuffix[] = ".bramix-new";
const int kRandomLength = 12;

QString temporaryPath(const QFileInfo &target)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString random(kRandomLength, Qt::Uninitialized);
    for (QChar &c : random)
        c = QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)]);
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.') + random
        + QLatin1String(kTemporarySuffix);
}

// The file a replacement of path replaces: a symbolic link is followed to what it names, so the link
// stays a link.
QFileInfo targetOf(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; hops < 128 && info.isSymLink(); ++hops)
        info.setFile(info.symLinkTarget());
    return info;
}

QString systemError(const QString &what, int error)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool CAtomicFile::write(const QString &path, const QByteArray &data, QString *error)
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QFileInfo target = targetOf(path);
    struct stat existing;
    const QByteArray targetName = QFile::encodeName(target.filePath());
    const bool exists = ::stat(targetName.constData(), &existing) == 0;
    if (exists && !target.isWritable())
        return fail(QStringLiteral("Existing file %1 is not writable").arg(target.filePath()));
    // The replacement keeps the permissions of the file it replaces.
    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;
    QString temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = temporaryPath(target);
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(
            systemError(QStringLiteral("Cannot create a temporary file beside %1").arg(target.filePath()), errno));
    if (exists)
        ::fchmod(fd, mode); // the mask of the process does not narrow a kept mode
    const QByteArray temporaryName = QFile::encodeName(temporary);
    // Every write is checked as it is made, and the data reach the disk before the rename: a full
    // disk, seen at a write or only at the sync, fails the replacement and keeps the old file.
    bool ok = writeAll(fd, data.constData(), data.size()) && ::fdatasync(fd) == 0;
    int failure = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && ::rename(temporaryName.constData(), targetName.constData()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlink(temporaryName.constData());
        return fail(systemError(QStringLiteral("Cannot replace %1").arg(target.filePath()), failure));
    }
    return true;
}

int CAtomicFile::removeStaleTemporaries(const QString &dir, int minAgeSeconds)
{
    static const QRegularExpression temporary(QStringLiteral("^\\..+\\.[A-Za-z0-9]{%1}%2$")
                                                  .arg(kRandomLength)
                                                  .arg(QRegularExpression::escape(QLatin1String(kTemporarySuffix))));
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-qint64(minAgeSeconds));
    int removed = 0;
    const QFileInfoList entries = QDir(dir).entryInfoList(
        {QStringLiteral("*") + QLatin1String(kTemporarySuffix)}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!temporary.match(entry.fileName()).hasMatch() || entry.lastModified().toUTC() >= cutoff)
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}
