#pragma once

#include "ctestenvironment.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A server side and a client installed by scripts/install.sh into a test directory of its own, run
// as real services under the stand-in service manager (state in the test's private platform root).
class E2eFixture
{
public:
    E2eFixture();
    ~E2eFixture();

    bool isValid() const { return m_valid; }
    QString serverDir() const { return m_env.filePath(QStringLiteral("server")); }
    QString clientDir() const { return m_env.filePath(QStringLiteral("client")); }
    QString path(const QString &name) const { return m_env.filePath(name); }

    // Runs a program to its end with extra environment; its exit code, or a negative value.
    static int run(const QString &program, const QStringList &args, const QProcessEnvironment &extra = {},
        QByteArray *output = nullptr, int timeoutMs = 30000);

    bool startServer();
    // Installs the client service on first use; starts it with the extra environment (which the
    // service manager hands on to the service process) and, unless told not to, waits until the
    // agent listens.
    enum Wait { WaitForListener, StartOnly };
    bool startClient(const QProcessEnvironment &extra = {}, Wait wait = WaitForListener);
    bool stopClient();
    bool clientRunning();

    // The console's own scan (bramix-consolescan in the server's directory) of the test /24 that
    // testAddress() puts on this namespace's lo: lists the client and makes its inventory file.
    // Returns the client's UUID, empty on failure.
    QString scan();
    // The console publishes file as the Linux client of version and pushes it at once to every listed
    // client ("Update client", "push at once"). The update frame's text, empty on failure.
    QString push(const QString &file, const QString &version);
    // The console's address on lo ("198.51.100.1"), added only to the namespace the test launcher made.
    static QString testAddress();

    static bool waitForPort(quint16 port, int timeoutMs);

private:
    bool serviceRunning(const QString &program);

    CTestEnvironment m_env;
    bool m_valid = false;
    bool m_serverInstalled = false;
    bool m_clientInstalled = false;
};
