#pragma once

#include "qtservice.h"

#include <QCoreApplication>
#include <QString>

// A service for the tests, configured from its environment (inherited from whoever starts it):
//   BXTEST_HOOKLOG   file that receives one line per hook call: "<hook> [<value>] thread=main|other"
//   BXTEST_HOLDSTART the start hook waits (bounded) until this file exists
//   BXTEST_FLAGS     comma list: suspend (CanBeSuspended), nostop (CannotBeStopped)
//   BXTEST_EXITDELAY milliseconds the process lingers after its event loop ended
//   BXTEST_NAME      service name (default "Bramix Test Service")
//   BXTEST_QUITCODE  the start hook ends the event loop with this exit code
// Commands: 5 turns on CanBeSuspended while running; 7 quits the application with exit code 3.
class CTestService : public QtService<QCoreApplication>
{
public:
    CTestService(int argc, char **argv);

    static QString defaultName();

protected:
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;
    void processCommand(int code) override;
    int executeApplication() override;

private:
    void record(const QString &hook, const QString &value = QString());
};
