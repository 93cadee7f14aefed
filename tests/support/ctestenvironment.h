#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// What every test needs from its surroundings: a private platform state directory (so stand-in
// services, event log and class registry never leak between tests), the staged build with the
// programs and shipped files, and bounded waits instead of sleeps.
class CTestEnvironment
{
public:
    CTestEnvironment();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString platformRoot() const { return m_dir.filePath(QStringLiteral("platform")); }

    // Directory of the staged programs, libraries and shipped files (build/stage/bin).
    static QString stageDir();
    static QString sourceDir();
    static QString stagedFile(const QString &name) { return stageDir() + QLatin1Char('/') + name; }

    // Copies the named staged files into dir (made if missing), keeping their permissions.
    static bool copyStaged(const QStringList &names, const QString &dir);

    static QByteArray readFile(const QString &path);
    static bool writeFile(const QString &path, const QByteArray &data);

    // Polls cond every 20 ms until it holds or timeoutMs passes, running the event loop meanwhile.
    static bool waitFor(const std::function<bool()> &cond, int timeoutMs = 10000);

private:
    QTemporaryDir m_dir;
};
