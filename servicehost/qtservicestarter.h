#pragma once

#include <QObject>

class QtServiceBasePrivate;

// Runs the start hook from the event loop of a console run.
class QtServiceStarter : public QObject
{
    Q_OBJECT
public:
    explicit QtServiceStarter(QtServiceBasePrivate *service);

public slots:
    void slotStart();

private:
    QtServiceBasePrivate *d_ptr;
};
