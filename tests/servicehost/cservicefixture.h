#pragma once

#include "ctestenvironment.h"
#include "winsvc.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One test's surroundings for the service host: a private platform state directory, the staged test
// service program, a hook log, and direct looks at the stand-in's state. Service processes left
// running by a test are killed when the fixture goes.
class CServiceFixture
{
public:
    struct Result
    {
        int exitCode = -1000;
        QByteArray out;
        QByteArray err;
    };
    struct EventRecord
    {
        QString source;
        QString type;
        int category = -1;
        int eventId = -1;
        QByteArray data;
        QStringList strings;
    };

    CServiceFixture();
    ~CServiceFixture();

    bool isValid() const { return m_env.isValid(); }
    CTestEnvironment &env() { return m_env; }

    static QString serviceName();
    QString program() const { return m_program; }
    void setProgram(const QString &path) { m_program = path; }

    // Environment for the service (and everything started from this process from now on).
    void setServiceEnv(const QByteArray &name, const QByteArray &value);

    Result run(const QStringList &arguments, int timeoutMs = 30000) const;

    QStringList hooks() const;
    QString hookLogPath() const { return m_env.filePath(QStringLiteral("hooks.log")); }
    QString holdPath() const { return m_env.filePath(QStringLiteral("release-start")); }
    QList<EventRecord> eventLog() const;

    // Status as the stand-in reports it; dwCurrentState 0 when the service cannot be opened.
    SERVICE_STATUS status() const;
    DWORD state() const { return status().dwCurrentState; }
    bool waitForState(DWORD state, int timeoutMs = 15000) const;
    bool waitForHook(const QString &prefix, int timeoutMs = 15000) const;
    qint64 servicePid() const;

    bool install(); // "-i" and checks it worked
    bool startRunning(); // the program without arguments, until SERVICE_RUNNING

    // The installed service's database record, as stored.
    QJsonObject databaseEntry() const;

private:
    void killLeftovers();

    CTestEnvironment m_env;
    QString m_program;
};
