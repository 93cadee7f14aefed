#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The change records of one client's inventory file: the same entries as CPcConfig::getChangeLog
// after CPcConfig::openReadOnly, read with a parser fast enough that the change log of thousands of
// clients reads in seconds (files in other encodings or with namespaces take the document reader). Per class element of
// the root, its tag gets "<time>^<type>^<digest>" for every record of its first "changelog" element, in file order.
class CChangeLogReader
{
public:
    // Nothing for a missing or unreadable file, a file that does not parse, or a UUID that cannot
    // name a file of the application directory; never creates a file.
    static void read(const QString &uuid, QMap<QString, QStringList> &log);
    static void parse(const QByteArray &raw, QMap<QString, QStringList> &log);
    // The logs of many clients, in the order of uuids, read by several threads at once.
    static QList<QMap<QString, QStringList>> readAll(const QStringList &uuids);
};
