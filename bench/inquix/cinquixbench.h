#pragma once

#include <QString>
#include <QStringList>

// Times the client agent's road to the inventory: for each of the thirteen inventory classes a new
// Device object made by its ProgID, one late-bound "query" call, release. Prints milliseconds and
// answer sizes per class and the total of each pass.
class CInquixBench
{
public:
    // Arguments: [--passes N] [--registered] [--library PATH]. Without --registered the bench
    // registers Inquix in a private class registry of its own. Returns the exit code.
    int run(const QStringList &arguments);

private:
    struct CResult
    {
        double ms = 0;
        qint64 bytes = 0;
        int objects = 0;
        bool ok = false;
    };

    CResult queryOnce(const QString &wql);
    bool registerPrivately(const QString &library);
};
