#pragma once

#include "qtservicecontroller.h"

#include <QByteArray>
#include <QFlags>
#include <QString>

class QtServiceBasePrivate;

// A program that is one service: the same executable installs, controls and runs it (exec), or runs
// it as a plain console process. One object per process, reachable through instance().
class QtServiceBase
{
public:
    enum MessageType { Success = 0, Error = 1, Warning = 2, Information = 3 };

    enum ServiceFlag { Default = 0x00, CanBeSuspended = 0x01, CannotBeStopped = 0x02 };
    Q_DECLARE_FLAGS(ServiceFlags, ServiceFlag)

    QtServiceBase(int argc, char **argv, const QString &name);
    virtual ~QtServiceBase();

    QtServiceBase(const QtServiceBase &) = delete;
    QtServiceBase &operator=(const QtServiceBase &) = delete;

    QString serviceName() const;

    QString serviceDescription() const;
    void setServiceDescription(const QString &description);

    QtServiceController::StartupType startupType() const;
    void setStartupType(QtServiceController::StartupType startupType);

    ServiceFlags serviceFlags() const;
    void setServiceFlags(ServiceFlags flags);

    // The command line: executes the option in the first argument or runs the service.
    int exec();

    // One event-log record under the service name; silently nothing when the log is unavailable.
    void logMessage(const QString &message, MessageType type = Success, int id = 0, uint category = 0,
        const QByteArray &data = QByteArray());

    static QtServiceBase *instance();

protected:
    // All hooks run in the thread of the application's event loop.
    virtual void start() = 0;
    virtual void stop();
    virtual void pause();
    virtual void resume();
    virtual void processCommand(int code);

    virtual void createApplication(int &argc, char **argv) = 0;
    virtual int executeApplication() = 0;

private:
    friend class QtServiceBasePrivate;
    friend class QtServiceSysPrivate;
    friend class QtServiceStarter;
    QtServiceBasePrivate *d_ptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QtServiceBase::ServiceFlags)
