#include "catomicfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

bool CAtomicFile::write(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    // A file in a directory we may not create files in cannot be replaced atomically; fail instead
    // of writing in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // The file buffers what it is given. A write error that only shows when that buffer is flushed
    // inside commit() is lost there (Qt 6.4): commit() then renames a short or empty file over the
    // old one and reports success. Flushing first surfaces a full disk while the old file is intact.
    if (file.write(data) != data.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

int CAtomicFile::removeStaleTemporaries(const QString &dir, int minAgeSeconds)
{
    // The temporary file is named after its target with a dot and six random letters appended.
    static const QRegularExpression temporary(QStringLiteral("^.+\\.xml\\.[A-Za-z]{6}$"));
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-qint64(minAgeSeconds));
    int removed = 0;
    const QFileInfoList entries
        = QDir(dir).entryInfoList({QStringLiteral("*.xml.??????")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!temporary.match(entry.fileName()).hasMatch() || entry.lastModified().toUTC() >= cutoff)
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}
