#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's whole content at once: the data go to a temporary file in the same directory,
// which is synced to disk and renamed over the target. Readers see the old or the new content, never
// a part; a crash or a full disk leaves the old file as it was.
class CAtomicFile
{
public:
    static bool write(const QString &path, const QByteArray &data, QString *error = nullptr);

    // Removes what replacements cut short by a crash left behind in dir: the temporary files that
    // write() makes, named ".<target>.<twelve letters and digits>.bramix-new", whose last change is
    // more than minAgeSeconds old, so that none still being written is touched. Only regular files
    // of dir itself; returns how many were removed. Names of any other shape are never touched, so a
    // file set aside beside its original ("<name>.broken", "list.xml.backup") is safe.
    static int removeStaleTemporaries(const QString &dir, int minAgeSeconds);
};
