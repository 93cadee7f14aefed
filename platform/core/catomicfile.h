#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's whole content at once: the data go to a temporary file in the same directory,
// which is synced to disk and renamed over the target, and the directory is synced after the rename.
// Readers see the old or the new content, never a part; a crash or a full disk leaves the old file
// as it was, and once a replacement has returned true it survives a power loss.
//
// A replacement can be written in pieces: open(), append() as often as needed, then commit(); a
// replacement that is cancelled, fails or is destroyed uncommitted leaves the old file and no
// temporary behind.
class CAtomicFile
{
public:
    explicit CAtomicFile(const QString &path);
    ~CAtomicFile();

    CAtomicFile(const CAtomicFile &) = delete;
    CAtomicFile &operator=(const CAtomicFile &) = delete;

    // Creates the temporary file: false when it cannot be made (a missing or unwritable directory,
    // a target that exists and is not writable).
    bool open();
    // False once any write failed; every later append and the commit then fail too.
    bool append(const char *data, qint64 size);
    bool append(const QByteArray &data) { return append(data.constData(), data.size()); }
    // Syncs the data, renames the temporary over the target and syncs the directory. False when any
    // step failed; a failure before the rename keeps the old file, one of the directory sync after
    // it leaves the new content in place but not known to be on disk.
    bool commit();
    // Drops the temporary; the target keeps its old content.
    void cancel();
    QString errorString() const { return m_error; }

    // The whole replacement in one call.
    static bool write(const QString &path, const QByteArray &data, QString *error = nullptr);

    // Removes what replacements cut short by a crash left behind in dir: the temporary files that
    // open() makes, named ".<target>.<twelve letters and digits>.bramix-new", whose last change is
    // more than minAgeSeconds old, so that none still being written is touched. Only regular files
    // of dir itself; returns how many were removed. Names of any other shape are never touched, so a
    // file set aside beside its original ("<name>.broken", "list.xml.backup") is safe.
    static int removeStaleTemporaries(const QString &dir, int minAgeSeconds);

private:
    bool fail(const QString &what, int error);

    QString m_path;
    QByteArray m_target; // the file replaced, links followed, in the file system's encoding
    QByteArray m_temporary;
    int m_fd = -1;
    bool m_failed = false;
    QString m_error;
};
