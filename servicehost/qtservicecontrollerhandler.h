#pragma once

#include <QObject>

class QtServiceSysPrivate;

// Receives control requests as events in the main thread and hands them to the run state.
class QtServiceControllerHandler : public QObject
{
    Q_OBJECT
public:
    explicit QtServiceControllerHandler(QtServiceSysPrivate *sys);

protected:
    void customEvent(QEvent *e) override;

private:
    QtServiceSysPrivate *d_sys;
};
