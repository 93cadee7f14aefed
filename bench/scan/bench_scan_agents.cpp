// bench_scan_agents <first address> <count> [<mode>] [<count> <mode>]...: fake client agents on
// consecutive addresses from <first address>, port 2211, for the scan and push benchmarks: the first
// <count> in the first mode (short by default), the next in the next, and so on.
//
// Modes: short, extended, silent; real16, dollars, carets and letters answer with an answer of just
// under 16 MiB (see CHostileAnswers); hostile is real16 on all of its hosts but the last and dollars
// on the last; drip16 announces a real16 answer and then sends a byte every 20 s; lure16 sends 15 MiB
// of one at once, then a byte every 20 s. Every agent serves one connection at a time, as a real one:
// a new connection drops the one it serves.
//
// Prints "listening <n>" once all listen; when its standard input closes it prints "pushes <n> bytes
// <total>" (file pushes received whole) and ends. Push payloads are counted, not kept.
#include "cfakeagent.h"
#include "chostileanswers.h"

#include <QCoreApplication>

#include <cstdio>
#include <sys/resource.h>

namespace {

const QStringList kModes {QStringLiteral("short"), QStringLiteral("extended"), QStringLiteral("silent"),
    QStringLiteral("real16"), QStringLiteral("dollars"), QStringLiteral("carets"), QStringLiteral("letters"),
    QStringLiteral("hostile"), QStringLiteral("drip16"), QStringLiteral("lure16")};

const int kDripMs = 20000;
const qint64 kLureBytes = qint64(15) * 1024 * 1024;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2)
        args.append(QStringLiteral("short"));
    if (args.size() < 3 || args.size() % 2 == 0) {
        std::fprintf(stderr,
            "usage: bench_scan_agents <first address> <count> [<mode>] [<count> <mode>]...\n"
            "modes: %s\n",
            qPrintable(kModes.join(QLatin1Char(' '))));
        return 2;
    }
    // One listening socket per agent, and the connections of a push on top.
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    quint32 next = QHostAddress(args.at(0)).toIPv4Address();
    QList<CFakeAgent *> agents;
    QString slowAnswer; // the slow agents never finish: they share one text
    for (int group = 1; group + 1 < args.size(); group += 2) {
        const int count = args.at(group).toInt();
        const QString mode = args.at(group + 1);
        if (!kModes.contains(mode)) {
            std::fprintf(stderr, "bench_scan_agents: no mode %s\n", qPrintable(mode));
            return 2;
        }
        for (int i = 0; i < count; ++i, ++next) {
            const QHostAddress address(next);
            CFakeAgent::Config config;
            config.keepPayloads = false;
            config.oneConnection = true;
            config.mode = mode == QLatin1String("extended") ? CFakeAgent::Extended
                : mode == QLatin1String("silent")           ? CFakeAgent::Silent
                                                            : CFakeAgent::Short;
            config.uuid = QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(next, 8, 16, QLatin1Char('0'));
            config.name = QStringLiteral("AGENT%1").arg(agents.size());
            const QString label = config.name + QLatin1Char('(') + address.toString() + QLatin1Char(')');
            if (mode == QLatin1String("real16") || (mode == QLatin1String("hostile") && i + 1 < count))
                config.answer = CHostileAnswers::realRows(config.uuid, label);
            else if (mode == QLatin1String("dollars") || mode == QLatin1String("hostile"))
                config.answer = CHostileAnswers::dollars(config.uuid, label);
            else if (mode == QLatin1String("letters"))
                config.answer = CHostileAnswers::letters(config.uuid, label);
            else if (mode == QLatin1String("carets"))
                config.answer = CHostileAnswers::carets(config.uuid, label);
            if (mode == QLatin1String("drip16") || mode == QLatin1String("lure16")) {
                if (slowAnswer.isEmpty())
                    slowAnswer = CHostileAnswers::realRows(config.uuid, label);
                config.answer = slowAnswer;
                config.mode = CFakeAgent::Drip;
                config.dripMs = kDripMs;
                // The frame's count and the string's, then the drip; or most of the answer at once.
                config.sendAtOnce = mode == QLatin1String("drip16") ? 6 + 4 : kLureBytes;
            }
            auto *agent = new CFakeAgent(config, &app);
            if (!agent->listen(address)) {
                std::fprintf(stderr, "bench_scan_agents: cannot listen on %s:2211\n", qPrintable(address.toString()));
                return 1;
            }
            agents.append(agent);
        }
    }
    CFakeAgent::serveUntilInputCloses(int(agents.size()));
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
