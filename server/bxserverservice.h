#pragma once

#include "qtservice.h"

#include <QCoreApplication>

class FortuneServer;

// The central server's service: listens on the server port while it runs.
class BXServerService : public QtService<QCoreApplication>
{
public:
    BXServerService(int argc, char **argv, const QString &name);
    ~BXServerService() override;

protected:
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

private:
    FortuneServer *m_server;
};
