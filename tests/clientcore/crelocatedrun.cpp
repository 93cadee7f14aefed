#include "crelocatedrun.h"

#include "ctestenvironment.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char kDirVariable[] = "BRAMIX_RELOCATED_DIR";

void removeDir()
{
    const QByteArray dir = qgetenv(kDirVariable);
    if (!dir.isEmpty())
        QDir(QFile::decodeName(dir)).removeRecursively();
}

} // namespace

void CRelocatedRun::relocate(int argc, char **argv, const QStringList &companions)
{
    Q_UNUSED(argc);
    if (!qgetenv(kDirVariable).isEmpty()) {
        std::atexit(removeDir);
        return;
    }
    QByteArray pattern = qgetenv("TMPDIR");
    if (pattern.isEmpty())
        pattern = "/tmp";
    pattern += "/bramix-relocated-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::perror("readlink");
        std::exit(2);
    }
    self[n] = '\0';
    const QString from = QFile::decodeName(self);
    const QString to = QFile::decodeName(pattern) + QLatin1Char('/') + QFileInfo(from).fileName();
    if (!QFile::copy(from, to)) {
        std::fprintf(stderr, "cannot copy %s\n", self);
        std::exit(2);
    }
    QFile::setPermissions(to, QFileInfo(from).permissions());
    if (!CTestEnvironment::copyStaged(companions, QFile::decodeName(pattern))) {
        std::fprintf(stderr, "cannot copy the staged files %s\n", qPrintable(companions.join(' ')));
        std::exit(2);
    }
    ::setenv(kDirVariable, pattern.constData(), 1);
    const QByteArray target = QFile::encodeName(to);
    argv[0] = const_cast<char *>(target.constData());
    ::execv(target.constData(), argv);
    std::perror("execv");
    std::exit(2);
}
