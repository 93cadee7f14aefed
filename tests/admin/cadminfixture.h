#pragma once

#include <QString>
#include <QStringList>

// Client lists and client files for the console's tests, made through the store.
class CAdminFixture
{
public:
    // Fresh application directory: no store files, the shipped empty list.xml and configtempl.xml.
    static bool reset();

    // Adds a client to list.xml; folder and notice are set when not null.
    static bool addClient(const QString &uuid, const QString &name, const QString &ip, const QString &os,
        const QString &folder = QString(), const QString &notice = QString(),
        const QString &version = QStringLiteral("2.1.20090713"));
    static bool addFolder(const QString &name, const QString &value);

    // Creates the client's inventory file from an identity answer holding these class blocks
    // ("CPU" -> rows); then applies the change items ("<class>$<type>$<row>").
    static bool addClientFile(const QString &uuid, const QList<QPair<QString, QStringList>> &classes,
        const QStringList &changes = QStringList());

    // An inventory row from "Name=value" lines.
    static QString row(const QStringList &lines);
};
