#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The bodies of the fuzz targets over the protocol and the store. Each takes one input and returns
// what went wrong (empty when everything that must hold held), so the libFuzzer programs abort on
// a failure and the regression test reports it. Store targets work in the application directory
// (the running program's directory), which must be a scratch directory of the caller's: each input
// rewrites its fixture files there.
class CFuzzEntries
{
public:
    typedef QString (*Entry)(const QByteArray &data);
    struct Target
    {
        const char *name;
        Entry entry;
    };
    static QList<Target> targets();
    static Entry find(const QString &name);

    // Framings: bytes fed in pieces the input chooses, plus a write/read round trip.
    static QString shortFrame(const QByteArray &data);
    static QString commandFrame(const QByteArray &data);

    // Message parsers.
    static QString updateCheck(const QByteArray &data);
    static QString changeNotice(const QByteArray &data);
    static QString identityAnswer(const QByteArray &data);
    static QString identityRequest(const QByteArray &data);
    static QString filePush(const QByteArray &data);

    // Store: change-log engine and template fill on fixture files, and the XML readers.
    static QString changeLog(const QByteArray &data);
    static QString templateFill(const QByteArray &data);
    static QString listXml(const QByteArray &data);
    static QString inventoryXml(const QByteArray &data);
    static QString uplistXml(const QByteArray &data);
    static QString updateLogXml(const QByteArray &data);
    // The report search's digest reader against the store's reader of the same file: same files
    // taken, same digests and time stamp.
    static QString digestReader(const QByteArray &data);

    // Names the application directory may hold after a store input besides the program itself.
    static QString strayFiles(const QStringList &allowed);
};
