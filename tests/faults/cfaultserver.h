#pragma once

#include "ctestenvironment.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// A BramixServer installation of its own in a temporary directory, run as a console process, that a
// test can kill with SIGKILL and start again on the same files.
class CFaultServer
{
public:
    CFaultServer();
    ~CFaultServer();

    bool isValid() const { return !m_dir.isEmpty(); }
    QString dir() const { return m_dir; }
    QString file(const QString &name) const { return m_dir + QLatin1Char('/') + name; }

    // Lists the clients in list.xml and gives each an inventory file made from the shipped template.
    bool addClients(const QStringList &uuids);

    // A variable for the server's environment at its next start (the server's test settings).
    void setEnv(const QString &name, const QString &value) { m_extraEnv.insert(name, value); }
    bool start(); // true once the server port accepts connections
    void kill(); // SIGKILL, then reaped
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Resident memory of the server process in KiB (VmRSS), -1 when unknown.
    qint64 residentKiB() const { return residentKiB(pid()); }
    static qint64 residentKiB(qint64 pid);
    // A KiB figure of the server's /proc status (VmRSS, VmHWM, VmSize), -1 when unknown.
    qint64 statusKiB(const QByteArray &field) const { return statusKiB(pid(), field); }
    static qint64 statusKiB(qint64 pid, const QByteArray &field);

    // The store files of the installation that do not parse (empty when all do).
    QStringList unreadableFiles() const;
    // Files the store left beside its own (temporary files of an interrupted replace).
    QStringList strayFiles() const;

    // Offers a client update in uplist.xml: a Windows file "BramixClient" of these bytes, version
    // 2.1.20090715.
    bool publishUpdate(const QByteArray &content);
    // Descriptors the server process has open.
    int openFiles() const;

    // Rows of class Software stored in a client's file, each with the number of times it is stored.
    static QMap<QString, int> storedRows(const QString &path);
    // A change notice of one Software "add" row on a connection of its own: the milliseconds until
    // "setChange:ok" came back, -1 when it did not within timeoutMs.
    static qint64 timedNotice(const QString &uuid, const QString &row, int timeoutMs = 20000);

    static bool portOpen(quint16 port);
    static bool waitForPort(quint16 port, int timeoutMs = 20000);

private:
    CTestEnvironment m_env;
    QString m_dir;
    QProcessEnvironment m_extraEnv;
    QProcess m_process;
};
