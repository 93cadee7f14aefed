#include "cstoretestrun.h"

#include "ctestenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const char kMarker[] = "BRAMIX_STORE_TEST_RELOCATED";
}

bool CStoreTestRun::isRelocated()
{
    return qEnvironmentVariableIsSet(kMarker);
}

int CStoreTestRun::relocate(int argc, char **argv, const QStringList &companions)
{
    Q_UNUSED(argc);
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString from = QFileInfo(self).absolutePath();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    QStringList programs = companions;
    programs.prepend(QFileInfo(self).fileName());
    for (const QString &name : programs) {
        const QString to = dir.filePath(name);
        if (!QFile::copy(from + QLatin1Char('/') + name, to))
            return 2;
        QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    const QByteArray program = QFile::encodeName(dir.filePath(QFileInfo(self).fileName()));
    const pid_t pid = ::fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        ::setenv(kMarker, "1", 1);
        argv[0] = const_cast<char *>(program.constData());
        ::execv(program.constData(), argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

QString CStoreTestRun::appDir()
{
    return QCoreApplication::applicationDirPath();
}

QString CStoreTestRun::path(const QString &name)
{
    return appDir() + QLatin1Char('/') + name;
}

QByteArray CStoreTestRun::read(const QString &name)
{
    return CTestEnvironment::readFile(path(name));
}

bool CStoreTestRun::write(const QString &name, const QByteArray &data)
{
    return CTestEnvironment::writeFile(path(name), data);
}

void CStoreTestRun::clear()
{
    QDir dir(appDir());
    const QStringList names = dir.entryList({QStringLiteral("*.xml"), QStringLiteral("*.lock"), QStringLiteral("*.bin"),
                                                QStringLiteral("*.dat"), QStringLiteral("*.broken")},
        QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        dir.remove(name);
}

bool CStoreTestRun::installShipped(const QString &name)
{
    QFile::remove(path(name));
    return QFile::copy(CTestEnvironment::stagedFile(name), path(name))
        && QFile::setPermissions(path(name), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool CStoreTestRun::parses(const QString &name, QDomDocument *doc)
{
    QDomDocument local;
    QDomDocument &d = doc ? *doc : local;
    return bool(d.setContent(read(name), true));
}

quint64 CStoreTestRun::inode(const QString &name)
{
    struct stat st;
    if (::stat(QFile::encodeName(path(name)).constData(), &st) != 0)
        return 0;
    return quint64(st.st_ino);
}
