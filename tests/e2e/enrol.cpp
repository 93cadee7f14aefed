// bramix-enrol: does for one client agent what the console's network scan does when it finds a new
// client, so that the server has an inventory file to apply the client's change notices to. It asks
// the agent at <address>:2211 for its identity and inventory (telling it our address as its server
// address), lists it in list.xml and creates "<UUID>.xml" from configtempl.xml. Like the console it
// must lie in the server's directory, whose files it writes.
//
//   bramix-enrol <agent address> [<our address>]   prints the client's UUID
//   bramix-enrol --digests <uuid> [<most>]         prints the client file's per-class digests (at
//                                                  most <most> a class)
#include "ccommandframe.h"
#include "cmessages.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cshortframereader.h"

#include <QCoreApplication>
#include <QMap>
#include <QTcpSocket>
#include <QTextStream>

#include <cstdio>

namespace {

int printDigests(const QString &uuid, int most)
{
    CPcConfig config(uuid);
    if (config.openReadOnly() != 1) {
        std::fprintf(stderr, "bramix-enrol: no inventory file for %s\n", qPrintable(uuid));
        return 1;
    }
    QMap<QString, QString> digests;
    config.getDigests(digests);
    QTextStream out(stdout);
    for (auto it = digests.cbegin(); it != digests.cend(); ++it) {
        if (it.key() == QLatin1String("lastupdate"))
            continue;
        const QStringList lines = it.value().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        out << it.key() << ":" << (lines.isEmpty() ? QStringLiteral(" -") : QString()) << "\n";
        for (int i = 0; i < lines.size(); ++i) {
            if (most > 0 && i == most) {
                out << "    ... and " << lines.size() - most << " more\n";
                break;
            }
            out << "    " << lines.at(i) << "\n";
        }
    }
    out << "lastupdate: " << digests.value(QStringLiteral("lastupdate")) << "\n";
    return 0;
}

int enrol(const QString &agent, const QString &ourAddress)
{
    QTcpSocket socket;
    socket.connectToHost(agent, CMessages::AgentPort);
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "bramix-enrol: no agent at %s: %s\n", qPrintable(agent), qPrintable(socket.errorString()));
        return 1;
    }
    socket.write(CCommandFrame::encodeCommand(CMessages::identityRequestHeader(ourAddress)));
    socket.flush();
    CShortFrameReader reader;
    if (reader.readBlocking(&socket, 30000) != CShortFrameReader::Complete) {
        std::fprintf(stderr, "bramix-enrol: no identity answer\n");
        return 1;
    }
    const QString answer = reader.text();
    CMessages::IdentityAnswer identity;
    if (!CMessages::parseIdentityAnswer(answer, &identity)) {
        std::fprintf(stderr, "bramix-enrol: not an identity answer\n");
        return 1;
    }
    const QString label = identity.hostLabel;
    const int open = label.indexOf(QLatin1Char('('));
    const QString name = open < 0 ? label : label.left(open);
    const QString ip = open < 0 ? QString() : label.mid(open + 1).chopped(label.endsWith(QLatin1Char(')')) ? 1 : 0);

    CSet list;
    if (list.openList() != 1 || list.findPC(identity.uuid) < 0) {
        std::fprintf(stderr, "bramix-enrol: list.xml cannot be read\n");
        return 1;
    }
    if (list.findPC(identity.uuid) == 0)
        list.addPC(identity.uuid, name, ip, identity.version, identity.platform);
    CPcConfig config(identity.uuid);
    if (config.open() != 1 || config.createFromTemplate(answer) != 0) {
        std::fprintf(stderr, "bramix-enrol: cannot create the inventory file\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(identity.uuid));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if ((args.size() == 3 || args.size() == 4) && args.at(1) == QLatin1String("--digests"))
        return printDigests(args.at(2), args.size() == 4 ? args.at(3).toInt() : 0);
    if (args.size() == 2 || args.size() == 3)
        return enrol(args.at(1), args.size() == 3 ? args.at(2) : QStringLiteral("127.0.0.1"));
    std::fprintf(stderr, "usage: bramix-enrol <agent address> [<our address>] | --digests <uuid> [<most>]\n");
    return 2;
}
