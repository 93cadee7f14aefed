#include "qtservicecontrollerhandler.h"

#include "qtservicesysprivate.h"

QtServiceControllerHandler::QtServiceControllerHandler(QtServiceSysPrivate *sys)
    : QObject(nullptr)
    , d_sys(sys)
{ }

void QtServiceControllerHandler::customEvent(QEvent *e)
{
    d_sys->handleCustomEvent(e);
}
