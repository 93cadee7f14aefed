#pragma once

#include <QString>
#include <QStringList>

class QtServiceControllerPrivate;

// Controls one installed service by name through the service manager. Every operation opens the
// manager and the service, does one thing and closes both again; only the name is kept.
class QtServiceController
{
public:
    enum StartupType { AutoStartup = 0, ManualStartup = 1 };

    explicit QtServiceController(const QString &name);
    virtual ~QtServiceController();

    QtServiceController(const QtServiceController &) = delete;
    QtServiceController &operator=(const QtServiceController &) = delete;

    bool isInstalled() const;
    bool isRunning() const;

    QString serviceName() const;
    QString serviceDescription() const;
    StartupType startupType() const;
    QString serviceFilePath() const;

    // Runs programPath with "-i", account and password and waits for it; true on exit code 0.
    static bool install(
        const QString &programPath, const QString &account = QString(), const QString &password = QString());
    bool uninstall();
    bool start(const QStringList &arguments);
    bool start();
    bool stop();
    bool pause();
    bool resume();
    bool sendCommand(int code);

private:
    QtServiceControllerPrivate *d_ptr;
};
