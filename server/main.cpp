#include "bxserverservice.h"

int main(int argc, char **argv)
{
    BXServerService service(argc, argv, QStringLiteral("Bramix Server Service"));
    service.setServiceDescription(QStringLiteral("Bramix Server Service"));
    service.setServiceFlags(QtServiceBase::CanBeSuspended);
    service.setStartupType(QtServiceController::AutoStartup);
    return service.exec();
}
