#include "cswaplet.h"

#include <QProcess>

bool CSwaplet::start(QObject *parent, const QString &dir, const QStringList &arguments)
{
    QProcess *process = new QProcess(parent);
    process->setWorkingDirectory(dir);
    process->setProgram(dir + QStringLiteral("/Swaplet"));
    process->setArguments(arguments);
    return process->startDetached();
}
