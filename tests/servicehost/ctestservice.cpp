#include "ctestservice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

Qt::HANDLE g_mainThread = nullptr;

} // namespace

CTestService::CTestService(int argc, char **argv)
    : QtService<QCoreApplication>(
        argc, argv, qEnvironmentVariableIsSet("BXTEST_NAME") ? qEnvironmentVariable("BXTEST_NAME") : defaultName())
{
    g_mainThread = QThread::currentThreadId();
    setServiceDescription(serviceName());
    setStartupType(QtServiceController::AutoStartup);
    const QStringList flags = qEnvironmentVariable("BXTEST_FLAGS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    ServiceFlags f;
    if (flags.contains(QLatin1String("suspend")))
        f |= CanBeSuspended;
    if (flags.contains(QLatin1String("nostop")))
        f |= CannotBeStopped;
    setServiceFlags(f);
}

QString CTestService::defaultName()
{
    return QStringLiteral("Bramix Test Service");
}

void CTestService::record(const QString &hook, const QString &value)
{
    const QString path = qEnvironmentVariable("BXTEST_HOOKLOG");
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QString line = hook;
    if (!value.isNull())
        line += QLatin1Char(' ') + value;
    line += QThread::currentThreadId() == g_mainThread ? QLatin1String(" thread=main") : QLatin1String(" thread=other");
    f.write(line.toUtf8() + '\n');
}

void CTestService::start()
{
    record(QStringLiteral("start"), QCoreApplication::arguments().join(QLatin1Char('|')));
    const QString hold = qEnvironmentVariable("BXTEST_HOLDSTART");
    if (!hold.isEmpty()) {
        QDeadlineTimer deadline(20000);
        while (!QFile::exists(hold) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    logMessage(QStringLiteral("Test service started"));
    if (qEnvironmentVariableIsSet("BXTEST_QUITCODE"))
        QCoreApplication::exit(qEnvironmentVariableIntValue("BXTEST_QUITCODE"));
}

void CTestService::stop()
{
    record(QStringLiteral("stop"));
    logMessage(QStringLiteral("Test service stopping"));
}

void CTestService::pause()
{
    record(QStringLiteral("pause"));
    logMessage(QStringLiteral("Test service paused"));
}

void CTestService::resume()
{
    record(QStringLiteral("resume"));
    logMessage(QStringLiteral("Test service resumed"));
}

void CTestService::processCommand(int code)
{
    record(QStringLiteral("command"), QString::number(code));
    logMessage(QStringLiteral("Test service command %1").arg(code));
    if (code == 5)
        setServiceFlags(serviceFlags() | CanBeSuspended);
    else if (code == 7)
        QCoreApplication::exit(3);
}

int CTestService::executeApplication()
{
    const int result = QtService<QCoreApplication>::executeApplication();
    record(QStringLiteral("loopended"), QString::number(result));
    const int delay = qEnvironmentVariableIntValue("BXTEST_EXITDELAY");
    if (delay > 0)
        QThread::msleep(ulong(delay));
    return result;
}
