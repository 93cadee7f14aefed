#pragma once

#include "cwmiobject.h"

#include <QList>
#include <QString>

// Reads the instances of one WMI class from the live machine. Every path a provider reads is taken
// below root(): "/" normally, a fixture tree in tests (BRAMIX_WMI_ROOT overrides it for a process).
// A source that is missing or unreadable yields no objects, never an error or a wait.
class CWmiProvider
{
public:
    explicit CWmiProvider(const QString &root = QString());
    virtual ~CWmiProvider();

    virtual QString className() const = 0;
    virtual QList<CWmiObject> objects() const = 0;

    QString root() const { return m_root; }
    // root() joined with an absolute machine path such as "/proc/cpuinfo".
    QString path(const QString &machinePath) const;
    // Whole file as text (trailing newline removed), or a null QString when it cannot be read.
    QString readText(const QString &machinePath) const;
    QByteArray readBytes(const QString &machinePath) const;

    static QString defaultRoot();

private:
    QString m_root;
};
