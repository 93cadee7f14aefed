// The console on a large store: rebuilding the client tree and building the change-log view.
//
//   bench_admin [--clients N] [--software ROWS] [--changes RECORDS] [--rounds R]
//
// Defaults: 10000 clients in folders of a hundred, 1500 Software rows and 20 change records per
// client, 3 rounds of each step. The inventory files start as hard links of one filled file.
#include "cbenchstore.h"
#include "cchangelogreader.h"
#include "qtm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardItemModel>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Options
{
    int clients = 10000;
    int software = 1500;
    int changes = 20;
    int rounds = 3;
};

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        auto next = [&]() { return i + 1 < args.size() ? args.at(++i).toInt() : 0; };
        if (a == "--clients")
            o.clients = next();
        else if (a == "--software")
            o.software = next();
        else if (a == "--changes")
            o.changes = next();
        else if (a == "--rounds")
            o.rounds = next();
    }
    o.clients = std::max(1, o.clients);
    o.rounds = std::max(1, o.rounds);
    return o;
}

// Best and mean wall time of rounds runs of step, in ms.
template<class Step> void measure(const char *what, int rounds, Step step)
{
    double best = 1e300, sum = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        step();
        const double ms = t.nsecsElapsed() / 1e6;
        best = std::min(best, ms);
        sum += ms;
    }
    std::printf("  %-44s best %9.1f ms, mean %9.1f ms\n", what, best, sum / rounds);
}

int run(const Options &o)
{
    CBenchStore::Options store;
    store.clients = o.clients;
    store.software = o.software;
    store.changes = o.changes;
    QElapsedTimer build;
    build.start();
    QStringList uuids;
    if (!CBenchStore::build(store, uuids))
        return 1;
    const qint64 fileSize
        = CBenchStore::readFile(QCoreApplication::applicationDirPath() + "/" + uuids.first() + ".xml").size();
    std::printf("store: %d clients, %d Software rows and %d change records each (inventory file %.2f MB), "
                "built in %.1f s; %d threads\n",
        o.clients, o.software, o.changes, fileSize / 1e6, build.elapsed() / 1000.0, QThread::idealThreadCount());

    qtm window(nullptr, Qt::WindowFlags());
    window.init();
    QTreeWidget *tree = window.findChild<QTreeWidget *>("treeWidget");
    std::printf("wall time of %d rounds:\n", o.rounds);
    measure("reloadTree", o.rounds, [&] { QMetaObject::invokeMethod(&window, "reloadTree"); });
    std::printf("  tree: %d top-level items\n", tree ? tree->topLevelItemCount() : -1);

    measure("change records of every client (parallel read)", o.rounds, [&] {
        const QList<QMap<QString, QStringList>> logs = CChangeLogReader::readAll(uuids);
        Q_UNUSED(logs);
    });
    int rows = 0;
    measure("createChangeLogModel", o.rounds, [&] {
        std::unique_ptr<QStandardItemModel> model(window.createChangeLogModel());
        rows = model->rowCount();
    });
    std::printf("  change log: %d rows\n", rows);
    measure("ChangeLogView (model, table, shown)", o.rounds, [&] {
        QMetaObject::invokeMethod(&window, "ChangeLogView");
        QCoreApplication::processEvents();
    });
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const int relocated = CBenchStore::relocate(argv, "BRAMIX_BENCH_ADMIN_RELOCATED");
    if (relocated >= 0)
        return relocated;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return run(parse(app.arguments()));
}
