// Runs one store save on a full file system: faults_diskhelper <operation> <room>.
#include "cdiskfullcase.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    return CDiskFullCase::run(args.at(1), args.at(2));
}
