// Writes the store's fixture files: every case of CStoreFixtureSteps run from its start, the file
// saved after each step as <out>/<case>/step-<n>.xml. Runs with a fixed hash seed, so that the
// attribute order of what it writes does not change from run to run.
//
//   store_fixturegen <out>
#include "cstorefixturesteps.h"
#include "cstoretestrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (!CStoreTestRun::isRelocated()) {
        qputenv("QT_HASH_SEED", "0");
        return CStoreTestRun::relocate(argc, argv, {});
    }
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: store_fixturegen <out>\n");
        return 2;
    }
    const QString out = QDir(app.arguments().at(1)).absolutePath();
    for (const CStoreFixtureSteps::Case &c : CStoreFixtureSteps::cases()) {
        if (!CStoreFixtureSteps::install(c) || !QDir().mkpath(out + QLatin1Char('/') + c.name))
            return 1;
        for (int n = 0; n < c.steps.size(); ++n) {
            c.steps.at(n).run();
            QFile file(out + QStringLiteral("/%1/step-%2.xml").arg(c.name).arg(n, 2, 10, QLatin1Char('0')));
            if (!file.open(QIODevice::WriteOnly) || file.write(CStoreTestRun::read(c.file)) < 0)
                return 1;
        }
    }
    return 0;
}
