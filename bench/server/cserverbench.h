#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// What the server benchmarks share: a network namespace of their own (they bind the server port),
// the machine's load, plain connections to the server port and client files holding a
// realistic inventory.
class CServerBench
{
public:
    // A command-line option: "--name N" (a whole number above 0), "--name TEXT", or "--name" alone,
    // which sets flag to value.
    struct Option
    {
        const char *name;
        int *number = nullptr;
        QString *text = nullptr;
        bool *flag = nullptr;
        bool value = true;
    };
    // Reads the options into their places; "--help" prints usage and ends the program. False, with
    // a message, for anything else.
    static bool parseOptions(
        const QStringList &args, const std::vector<Option> &options, const char *program, const char *usage);

    // Runs this program again inside a fresh network namespace (scripts/netns-run.sh) unless it
    // runs in one already; returns when it runs in one, or when none can be made (then it says so).
    static void enterNetworkNamespace(int argc, char **argv, const char *name);
    // A script of the source tree's scripts/ folder, found from BRAMIX_SOURCE_DIR or from the
    // staged program's place in the build tree; empty when neither has it.
    static QString scriptPath(const QString &name);

    static QByteArray loadAverage();

    static bool waitForPort(int timeoutMs);
    // A blocking connection to 127.0.0.1:2210, -1 when none within timeoutMs; receiveBuffer > 0
    // shrinks its buffer first, so that a peer that reads nothing stops the server's sending after
    // a few KiB.
    static int connectRaw(int receiveBuffer = 0, int timeoutMs = 30000);

    // The UUID of the bench's client number client.
    static QString uuidOf(int client);
    // A list.xml of that many clients, numbered from 0, with the notice flag "yes" when fresh, else
    // "no" (as every client has it after its first notice).
    static QByteArray clientList(int clients, bool fresh);
    static bool writeFile(const QString &path, const QByteArray &data);

    // One inventory file as the console creates it from the template: a content element with its
    // digest for every row of every class, with softwareRows Software packages.
    static QByteArray inventoryFile(int softwareRows);
};
