#include "ctestprocess.h"

#include <QProcess>

#include <sched.h>

int CTestProcess::run(const QString &program, const QStringList &args, const QProcessEnvironment &env,
    const QString &workingDir, QByteArray *output, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    if (!output)
        p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return NotStarted;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return TimedOut;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : Crashed;
}

void CTestProcess::keepToCores(int cores)
{
    cpu_set_t all;
    cpu_set_t some;
    CPU_ZERO(&some);
    if (::sched_getaffinity(0, sizeof all, &all) != 0)
        return;
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < cores; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &some);
            ++taken;
        }
    }
    ::sched_setaffinity(0, sizeof some, &some);
}
