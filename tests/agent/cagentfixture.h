#pragma once

#include "ctestenvironment.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// One installed client agent for one test: a private platform state directory, a private application
// directory holding a copy of the staged BramixClient with the libraries it loads, its set.xml and a
// stub Swaplet that records how it was started. The agent runs either as a console run ("-e") or as
// a service under the stand-in service manager. Agent and stub processes still running are killed
// when the fixture goes.
class CAgentFixture
{
public:
    CAgentFixture();
    // A test that runs the agent's classes in its own process: dir is its application directory (it
    // gets the stub Swaplet only).
    explicit CAgentFixture(const QString &dir);
    ~CAgentFixture();

    bool isValid() const { return m_valid; }
    CTestEnvironment &env() { return m_env; }
    QString dir() const { return m_dir; }
    QString program() const { return m_dir + QStringLiteral("/BramixClient"); }
    QString filePath(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    static QString serviceName() { return QStringLiteral("Bramix Client Service"); }

    QString setPath() const { return filePath(QStringLiteral("set.xml")); }
    bool writeSet(const QByteArray &content) const;
    QByteArray readSet() const;
    bool installShippedSet() const;
    // A set.xml holding every class element with one empty row (what a class whose query finds no
    // object stores), so a start with a Device that finds nothing records no change; bodies adds
    // children (a "changelog" with records, say) to the named class elements.
    static QByteArray setDocument(const QString &uuid, const QString &server,
        const QMap<QString, QByteArray> &bodies = QMap<QString, QByteArray>());
    static const QStringList &classKeys(); // in byte order
    // Registers the staged Inquix in this test's class registry.
    bool registerInquix() const;

    // The console run: the start hook runs once, then the event loop.
    bool startConsole();
    QProcess &process() { return m_process; }
    bool waitForExit(int timeoutMs = 30000);

    // The event-log texts of the agent's records, in order.
    QStringList log() const;
    bool waitForLog(const QString &text, int timeoutMs = 60000) const;
    bool waitForLogCount(int count, int timeoutMs = 60000) const;

    // Service mode under the stand-in service manager.
    struct Result
    {
        int exitCode = -1000;
        QByteArray out;
        QByteArray err;
    };
    Result run(const QStringList &arguments, int timeoutMs = 30000) const;
    bool install() const;
    bool startService() const; // the program without arguments: asks the service manager to start it
    quint32 state() const; // 0 when the service cannot be queried
    bool waitForState(quint32 state, int timeoutMs = 60000) const;
    bool control(quint32 code) const;
    qint64 servicePid() const;

    // The stub Swaplet: what it was started with, once it has run.
    QString swapletArgsPath() const { return filePath(QStringLiteral("swaplet.args")); }
    QStringList swapletArguments() const;
    QByteArray swapletCopy() const { return CTestEnvironment::readFile(filePath(QStringLiteral("swaplet.copy"))); }
    QString swapletWorkingDir() const;
    bool waitForSwaplet(int timeoutMs = 30000) const;
    // The stub waits for this file before it ends (so a test can see it outlive the agent).
    void releaseSwaplet() const;
    qint64 swapletPid() const;

    static bool processAlive(qint64 pid);

private:
    void killAll();
    bool writeStub() const;

    CTestEnvironment m_env;
    QString m_dir;
    QProcess m_process;
    bool m_valid = false;
};
