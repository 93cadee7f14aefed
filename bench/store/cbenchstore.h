#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A large store for the benchmarks: a list.xml of many clients in folders of a hundred, each with an
// inventory file holding a realistic Software class, built in the running program's directory (the
// store's application directory).
class CBenchStore
{
public:
    struct Options
    {
        int clients = 10000;
        int software = 1500;
        // Change records each client's file carries, spread over the classes (added and removed rows).
        int changes = 0;
        // Every inventory file a file of its own; else hard links of one filled file (each replaced by
        // a file of its own at its first change), which builds the store in seconds and little disk.
        bool copies = false;
        // Clients without the notice flag, so that every client's first notice also rewrites list.xml.
        bool fresh = false;
    };

    // One Win32_Product object as the agent stores it.
    static QString softwareRow(int i);
    static QString identityAnswer(const QString &uuid, int software);

    // Builds the store; uuids receives the clients in list.xml order. False (with a message on
    // standard error) when a file cannot be written.
    static bool build(const Options &options, QStringList &uuids);

    // The store keeps its files beside the running program, so a benchmark runs from a copy of itself
    // (with configtempl.xml) in a scratch directory. Returns -1 in that copy, which then goes on;
    // otherwise the copy's exit code.
    static int relocate(char **argv, const char *marker);

    static bool writeFile(const QString &path, const QByteArray &data);
    static QByteArray readFile(const QString &path);
};
