// A second process for the store's concurrency tests; it runs beside the test program and so shares
// its application directory.
//
//   store_helper notices <tag> <threads> <perThread> <uuid,...>   change notices, rows "<tag>-<t>-<k>"
//   store_helper adder <tag> <count>                              clients "<tag>-<i>", folders "<tag>-f<i>"
//   store_helper loop <uuid>                                      notices and clients until killed
//   store_helper flip <uuid> yes|no                               one notice flag set
#include "cpcconfig.h"
#include "cset.h"
#include "cstorenoticeload.h"

#include <QCoreApplication>
#include <QUuid>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 6 && args.at(1) == QLatin1String("notices"))
        return CStoreNoticeLoad::runNotices(args.at(2), args.at(3).toInt(), args.at(4).toInt(), args.at(5).split(','));
    if (args.size() >= 4 && args.at(1) == QLatin1String("adder"))
        return CStoreNoticeLoad::runAdder(args.at(2), args.at(3).toInt());
    if (args.size() >= 3 && args.at(1) == QLatin1String("loop")) {
        const QString uuid = args.at(2);
        for (int k = 0;; ++k) {
            CPcConfig cfg(uuid);
            cfg.open();
            cfg.applyChange(uuid + CStoreNoticeLoad::items(QStringLiteral("loop"), 0, k));
            CSet set;
            set.openList();
            set.addPC(QUuid::createUuid().toString(), QStringLiteral("loop-%1").arg(k), QStringLiteral("10.9.9.9"),
                QStringLiteral("2.1"), QStringLiteral("1"));
            if (k == 0) {
                std::puts("started");
                std::fflush(stdout);
            }
        }
    }
    if (args.size() >= 4 && args.at(1) == QLatin1String("flip")) {
        CSet set;
        set.openList();
        return set.setNotice(args.at(2), args.at(3) == QLatin1String("yes")) == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: store_helper notices|adder|loop|flip ...\n");
    return 2;
}
