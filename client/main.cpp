#include "bxclientservice.h"

int main(int argc, char **argv)
{
    // Under the service manager there is no display; the GUI application object then runs on the
    // off-screen platform instead of failing to connect to one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    BXClientService service(argc, argv, QStringLiteral("Bramix Client Service"));
    service.setServiceDescription(QStringLiteral("Bramix Client Service"));
    service.setServiceFlags(QtServiceBase::CanBeSuspended);
    service.setStartupType(QtServiceController::AutoStartup);
    return service.exec();
}
