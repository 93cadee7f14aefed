#include "ctestprocess.h"

#include <QProcess>

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
