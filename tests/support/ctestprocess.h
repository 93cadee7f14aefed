#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs a program of the system to its end, as the tests' command lines do.
class CTestProcess
{
public:
    enum Failure { NotStarted = -1000, TimedOut = -1001, Crashed = -1002 };

    // The exit code, or a Failure (a program past timeoutMs is killed). With output, standard
    // output is collected there; without, both channels go to the test's own.
    static int run(const QString &program, const QStringList &args, const QProcessEnvironment &env,
        const QString &workingDir = QString(), QByteArray *output = nullptr, int timeoutMs = 30000);

    // Keeps the calling process (a child before it runs its program) to the first cores of the
    // CPUs it may use: the C library sizes its heaps by them.
    static void keepToCores(int cores);
};
