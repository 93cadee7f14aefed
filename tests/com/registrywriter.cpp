// com_registry_writer <registry file> <writer id> <count>: sets <count> values, each in a change of
// its own, so concurrent writers interleave their read-modify-write cycles.

#include "cclassregistry.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    CClassRegistry registry(args.at(1));
    const QString id = args.at(2);
    const int count = args.at(3).toInt();
    for (int i = 0; i < count; ++i) {
        const QString key = QStringLiteral("Writers\\%1\\Key%2").arg(id).arg(i);
        if (!registry.setValue(key, QString(), QStringLiteral("%1-%2").arg(id).arg(i)))
            return 1;
    }
    return 0;
}
