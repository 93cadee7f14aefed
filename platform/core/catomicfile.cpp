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

} // namespace

CAtomicFile::CAtomicFile(const QString &path)
    : m_path(path)
{ }

CAtomicFile::~CAtomicFile()
{
    cancel();
}

bool CAtomicFile::fail(const QString &what, int error)
{
    if (!m_failed || m_error.isEmpty())
        m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    m_failed = true;
    return false;
}

bool CAtomicFile::open()
{
    cancel();
    m_failed = false;
    m_error.clear();
    const QFileInfo target = targetOf(m_path);
    m_target = QFile::encodeName(target.filePath());
    struct stat existing;
    const bool exists = ::stat(m_target.constData(), &existing) == 0;
    if (exists && !target.isWritable()) {
        m_failed = true;
        m_error = QStringLiteral("Existing file %1 is not writable").arg(target.filePath());
        return false;
    }
    // The replacement keeps the permissions of the file it replaces.
    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;
    for (int attempt = 0; m_fd < 0 && attempt < 16; ++attempt) {
        m_temporary = QFile::encodeName(temporaryPath(target));
        m_fd = ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        return fail(QStringLiteral("Cannot create a temporary file beside %1").arg(target.filePath()), error);
    }
    if (exists)
        ::fchmod(m_fd, mode); // the mask of the process does not narrow a kept mode
    return true;
}

bool CAtomicFile::append(const char *data, qint64 size)
{
    if (m_fd < 0 || m_failed)
        return false;
    // Every write is checked as it is made (nothing is buffered here): a full disk fails the
    // replacement while the old file is intact.
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n == 0 ? ENOSPC : errno;
            return fail(QStringLiteral("Cannot write %1").arg(QFile::decodeName(m_temporary)), error);
        }
        data += n;
        size -= n;
    }
    return true;
}

bool CAtomicFile::commit()
{
    if (m_fd < 0 || m_failed) {
        cancel();
        return false;
    }
    // The data reach the disk before the rename (a write error that shows only here fails the
    // replacement too), and the rename before the caller goes on: one that returned true, and so
    // may have been acknowledged, survives a power loss.
    int error = 0;
    if (::fdatasync(m_fd) != 0) {
        error = errno;
        fail(QStringLiteral("Cannot sync %1").arg(QFile::decodeName(m_temporary)), error);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && !error) {
        error = errno;
        fail(QStringLiteral("Cannot write %1").arg(QFile::decodeName(m_temporary)), error);
    }
    if (!error && ::rename(m_temporary.constData(), m_target.constData()) != 0) {
        error = errno;
        fail(QStringLiteral("Cannot replace %1").arg(QFile::decodeName(m_target)), error);
    }
    if (error) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        return false;
    }
    m_temporary.clear();
    const QByteArray dir = QFile::encodeName(QFileInfo(QFile::decodeName(m_target)).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        error = errno;
        return fail(QStringLiteral("Cannot open %1 to sync it").arg(QFile::decodeName(dir)), error);
    }
    if (::fsync(dirFd) != 0) {
        error = errno;
        ::close(dirFd);
        return fail(QStringLiteral("Cannot sync %1").arg(QFile::decodeName(dir)), error);
    }
    ::close(dirFd);
    return true;
}

void CAtomicFile::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

bool CAtomicFile::write(const QString &path, const QByteArray &data, QString *error)
{
    CAtomicFile file(path);
    if (file.open() && file.append(data) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancel();
    return false;
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
