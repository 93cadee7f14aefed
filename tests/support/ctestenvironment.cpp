#include "ctestenvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

CTestEnvironment::CTestEnvironment()
{
    if (m_dir.isValid()) {
        QDir().mkpath(platformRoot());
        qputenv("BRAMIX_PLATFORM_ROOT", QFile::encodeName(platformRoot()));
    }
}

QString CTestEnvironment::stageDir()
{
    QString dir = qEnvironmentVariable("BRAMIX_STAGE_DIR");
    if (dir.isEmpty())
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../../stage/bin");
    return dir + QStringLiteral("/bin");
}

QString CTestEnvironment::sourceDir()
{
    return qEnvironmentVariable("BRAMIX_SOURCE_DIR");
}

bool CTestEnvironment::copyStaged(const QStringList &names, const QString &dir)
{
    QDir().mkpath(dir);
    for (const QString &name : names) {
        const QString from = stagedFile(name);
        const QString to = dir + QLatin1Char('/') + name;
        QFile::remove(to);
        if (!QFile::copy(from, to))
            return false;
        QFile::setPermissions(to, QFileInfo(from).permissions());
    }
    return true;
}

QByteArray CTestEnvironment::readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool CTestEnvironment::writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

bool CTestEnvironment::waitFor(const std::function<bool()> &cond, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired())
            return cond();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}
