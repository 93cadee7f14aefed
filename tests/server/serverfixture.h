#pragma once

#include "ctestenvironment.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTcpSocket;

// A BramixServer installation of its own in a temporary directory (program, service manager stand-in,
// shipped files), run as a console process ("-e") or under the stand-in service manager, with the
// server's test seams set through the environment.
class ServerFixture
{
public:
    ServerFixture();
    ~ServerFixture();

    bool isValid() const { return !m_dir.isEmpty(); }
    QString dir() const { return m_dir; }
    QString file(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    CTestEnvironment &env() { return m_env; }

    // Seams handed to the server process: BRAMIX_TEST_SERVER_WAIT_MS and friends.
    void setEnv(const QString &name, const QString &value) { m_extraEnv.insert(name, value); }
    QProcessEnvironment processEnvironment() const;

    // Lists a client in list.xml and, unless withFile is false, gives it an inventory file made
    // from the shipped template.
    bool addClient(const QString &uuid, bool withFile = true);

    bool startConsole(); // "BramixServer -e"; true once the port accepts connections
    void stopConsole();
    QProcess &process() { return m_process; }

    // Runs "BramixServer <args>" to its end and returns its exit code.
    int runCommand(const QStringList &args, int timeoutMs = 20000);

    // Standard output of "BramixServer <args>" run to its end.
    QByteArray commandOutput(const QStringList &args, int timeoutMs = 20000);
    // "-v" reports the installed service as running.
    bool serviceRunning() { return commandOutput({QStringLiteral("-v")}).contains(" and running"); }

    // The process of this installation's server now running (under the service manager or as a
    // console process), 0 when there is none.
    qint64 serverPid() const;
    static bool processAlive(qint64 pid);

    static bool waitForPort(int timeoutMs = 15000);
    static bool portOpen();

    // Event-log strings of the server's service, in order.
    QStringList eventLog() const;

    // Sends bytes on a new connection and collects what comes back until the server closes it.
    // closed tells whether the server closed the connection within timeoutMs.
    static QByteArray exchange(const QByteArray &request, bool *closed = nullptr, int timeoutMs = 15000);
    static QByteArray frame(const QString &text);

private:
    CTestEnvironment m_env;
    QString m_dir;
    QMap<QString, QString> m_extraEnv;
    QProcess m_process;
};
