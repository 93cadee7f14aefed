#include "myapp.h"

#include "qtservicecontroller.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <stdexcept>

#include <sys/stat.h>

#include <cstdio>

namespace {
const char *const clientServiceName = "Bramix Client Service";
const int defaultTickMs = 5000;
} // namespace

MyApp::MyApp(int &argc, char **argv)
    : QCoreApplication(argc, argv)
    , argc(0)
    , m_faultAfterRename(qEnvironmentVariable("BRAMIX_TEST_SWAPLET_FAULT") == QLatin1String("after-rename"))
{ }

MyApp::~MyApp() { }

void MyApp::setArguments(int argc, const QString &para)
{
    this->argc = argc;
    this->para = para;
}

QString MyApp::applicationDirectory()
{
    const QString path = QCoreApplication::applicationFilePath();
    int cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('\\'));
    return cut < 0 ? path : path.left(cut);
}

QString MyApp::targetPath(const QString &updateFile)
{
    const int dot = updateFile.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? updateFile : updateFile.left(dot);
}

int MyApp::tickInterval()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("BRAMIX_TEST_SWAPLET_TICK_MS", &ok);
    return ok && ms > 0 ? ms : defaultTickMs;
}

void MyApp::timerEvent(QTimerEvent *)
{
    QFile logFile(applicationDirectory() + QStringLiteral("/updateLog.log"));
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return; // tried again at the next tick
    QTextStream log(&logFile);
    log.setEncoding(QStringConverter::System);
    log << "\n" << QDateTime::currentDateTime().toString(QStringLiteral("MMMM dd yyyy hh:mm:ss")) << " \n";
    try {
        runJob(log);
    } catch (...) {
        log << "Unknow exception\n";
        log.flush();
        logFile.close();
        return; // the whole job runs again at the next tick
    }
    log.flush();
    logFile.close();
    quit();
}

void MyApp::runJob(QTextStream &log)
{
    if (argc < 2) {
        log << "para not set\n";
        return;
    }
    const QString target = targetPath(para);
    log << "update file is:" << target << "\n";
    log.flush();
    if (!putInPlace(target)) {
        log << "Rename failed\n";
        return;
    }
    if (m_faultAfterRename) {
        m_faultAfterRename = false;
        throw std::runtime_error("injected fault");
    }
    QtServiceController controller(QString::fromLatin1(clientServiceName));
    if (controller.start()) {
        log << "start service OK\n";
        return;
    }
    startClient(log);
}

bool MyApp::putInPlace(const QString &target)
{
    // A job repeated after an exception finds its file already in place: leave it there.
    if (!m_placed.isEmpty() && m_placed == target && !QFile::exists(para) && QFile::exists(target))
        return true;

    // Without a "." in the file name there is no target distinct from the update file.
    const QString fileName = para.mid(para.lastIndexOf(QLatin1Char('/')) + 1);
    if (!fileName.contains(QLatin1Char('.')) || target.isEmpty())
        return false;

    const QByteArray from = QFile::encodeName(para);
    const QByteArray to = QFile::encodeName(target);
    struct stat fromStat;
    if (::stat(from.constData(), &fromStat) != 0 || !S_ISREG(fromStat.st_mode))
        return false;
    // The new client takes the old file's permission bits, so a replaced program stays executable.
    struct stat oldStat;
    if (::stat(to.constData(), &oldStat) == 0) {
        if (!S_ISREG(oldStat.st_mode))
            return false;
        if (::chmod(from.constData(), oldStat.st_mode & 07777) != 0)
            return false;
    }
    // rename(2) replaces the old file in one step: there is never a moment without a client file.
    if (std::rename(from.constData(), to.constData()) != 0)
        return false;
    m_placed = target;
    return true;
}

void MyApp::startClient(QTextStream &log)
{
    // Detached: the client must outlive us, since it still has to ask the service manager to start
    // the service after we have ended.
    const QString dir = applicationDirectory();
    QProcess::startDetached(dir + QStringLiteral("/BramixClient"), QStringList {QStringLiteral("-s")}, dir);
    log << "start service Failed,start client as Process \n";
}
