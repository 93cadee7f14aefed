#pragma once

#include "cmessages.h"

#include <QList>
#include <QString>
#include <QStringList>

// Clients for the report tests, made through the store as the console's scan makes them: list.xml
// entries and inventory files filled from configtempl.xml with an identity answer.
class CReportFixture
{
public:
    struct Client
    {
        QString name;
        QString ip;
        QList<CMessages::ClassBlock> classes;
        bool withFile = true; // false: listed, but no inventory file
    };

    static QString uuidOf(int index);
    // Replaces the application directory's store files by these clients, in list.xml order.
    static bool build(const QList<Client> &clients);

    // Six clients covering the filters: vendors, clocks written in every way the search reads,
    // memory modules and disks, one without a file.
    static QList<Client> searchClients();
};
