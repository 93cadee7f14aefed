#include "qtservicestarter.h"

#include "qtservicebaseprivate.h"

QtServiceStarter::QtServiceStarter(QtServiceBasePrivate *service)
    : QObject(nullptr)
    , d_ptr(service)
{ }

void QtServiceStarter::slotStart()
{
    d_ptr->q_ptr->start();
}
