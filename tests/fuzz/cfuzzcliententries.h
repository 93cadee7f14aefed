#pragma once

#include <QByteArray>
#include <QString>

// The fuzz target over the agent's settings file set.xml. Apart from the store's targets because the
// agent's settings class and the store's client list share a class name. Works in the application
// directory, which must be a scratch directory of the caller's.
class CFuzzClientEntries
{
public:
    static QString setXml(const QByteArray &data);
};
