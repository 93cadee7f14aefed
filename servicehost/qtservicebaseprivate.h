#pragma once

#include "qtservicebase.h"
#include "qtservicecontroller.h"

#include <QString>
#include <QStringList>

class QtServiceSysPrivate;

class QtServiceBasePrivate
{
public:
    QtServiceBasePrivate(QtServiceBase *owner, const QString &name);
    ~QtServiceBasePrivate();

    // The service run under the service manager; false when it could not run.
    bool start();
    // The console run ("-e"): the application's exit code, or -1 without an application.
    int run();
    bool install(const QString &account, const QString &password);

    bool sysInit();
    void sysCleanup();

    // Full path of the running program's file.
    static QString filePath();

    QtServiceBase *q_ptr;
    QString serviceDescription;
    int startupType = QtServiceController::ManualStartup;
    int serviceFlags = 0;
    QStringList args;
    QtServiceController controller;
    QtServiceSysPrivate *sysd = nullptr;
};
