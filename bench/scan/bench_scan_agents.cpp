// bench_scan_agents <first address> <count> [short|extended|silent|real16|dollars|carets|letters|hostile]:
// fake client agents on <count> consecutive addresses from <first address>, port 2211, for the scan and
// push benchmarks. real16, dollars, carets and letters answer with an answer of just under 16 MiB (see
// CHostileAnswers); hostile is real16 on all but the last address and dollars on the last. Prints
// "listening <n>" once all listen; when its standard input closes it prints
// "pushes <n> bytes <total>" (file pushes received whole) and ends. Push payloads are counted, not
// kept.
#include "cfakeagent.h"
#include "chostileanswers.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr,
            "usage: bench_scan_agents <first address> <count> "
            "[short|extended|silent|real16|dollars|carets|letters|hostile]\n");
        return 2;
    }
    // One listening socket per agent, and the connections of a push on top.
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const quint32 first = QHostAddress(args.at(1)).toIPv4Address();
    const int count = args.at(2).toInt();
    CFakeAgent::Config config;
    config.keepPayloads = false;
    const QString mode = args.value(3, QStringLiteral("short"));
    config.mode = mode == QLatin1String("extended") ? CFakeAgent::Extended
        : mode == QLatin1String("silent")           ? CFakeAgent::Silent
                                                    : CFakeAgent::Short;
    QList<CFakeAgent *> agents;
    for (int i = 0; i < count; ++i) {
        const QHostAddress address(first + quint32(i));
        config.uuid
            = QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(first + quint32(i), 8, 16, QLatin1Char('0'));
        config.name = QStringLiteral("AGENT%1").arg(i);
        const QString label = config.name + QLatin1Char('(') + address.toString() + QLatin1Char(')');
        if (mode == QLatin1String("real16") || (mode == QLatin1String("hostile") && i + 1 < count))
            config.answer = CHostileAnswers::realRows(config.uuid, label);
        else if (mode == QLatin1String("dollars") || mode == QLatin1String("hostile"))
            config.answer = CHostileAnswers::dollars(config.uuid, label);
        else if (mode == QLatin1String("letters"))
            config.answer = CHostileAnswers::letters(config.uuid, label);
        else if (mode == QLatin1String("carets"))
            config.answer = CHostileAnswers::carets(config.uuid, label);
        auto *agent = new CFakeAgent(config, &app);
        if (!agent->listen(address)) {
            std::fprintf(stderr, "bench_scan_agents: cannot listen on %s:2211\n", qPrintable(address.toString()));
            return 1;
        }
        agents.append(agent);
    }
    CFakeAgent::serveUntilInputCloses(count);
    qint64 pushes = 0;
    qint64 bytes = 0;
    for (const CFakeAgent *agent : std::as_const(agents)) {
        for (const CFakeAgent::Push &push : agent->pushes()) {
            ++pushes;
            bytes += push.size;
        }
    }
    std::printf("pushes %lld bytes %lld\n", static_cast<long long>(pushes), static_cast<long long>(bytes));
    return 0;
}
