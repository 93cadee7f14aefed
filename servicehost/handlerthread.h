#pragma once

#include <QThread>

// The dispatcher thread: registers the service with the service manager and serves its requests.
class HandlerThread : public QThread
{
public:
    HandlerThread()
        : success(true)
        , console(false)
    { }

    bool success;
    bool console;

protected:
    void run() override;
};
