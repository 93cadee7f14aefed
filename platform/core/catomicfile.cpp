#include "catomicfile.h"

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
    if (file.write(data) != data.size()) {
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
