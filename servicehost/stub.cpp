#include "qtservicebase.h"

static QtServiceBase *g_instance = nullptr;

class QtServiceControllerPrivate
{
public:
    QString name;
};

class QtServiceBasePrivate
{
public:
    explicit QtServiceBasePrivate(const QString &name)
        : controller(name)
    { }
    QString description;
    QtServiceController::StartupType startupType = QtServiceController::ManualStartup;
    QtServiceBase::ServiceFlags flags;
    QtServiceController controller;
};

QtServiceController::QtServiceController(const QString &name)
    : d_ptr(new QtServiceControllerPrivate {name})
{ }
QtServiceController::~QtServiceController()
{
    delete d_ptr;
}
bool QtServiceController::isInstalled() const
{
    return false;
}
bool QtServiceController::isRunning() const
{
    return false;
}
QString QtServiceController::serviceName() const
{
    return d_ptr->name;
}
QString QtServiceController::serviceDescription() const
{
    return QString();
}
QtServiceController::StartupType QtServiceController::startupType() const
{
    return ManualStartup;
}
QString QtServiceController::serviceFilePath() const
{
    return QString();
}
bool QtServiceController::install(const QString &, const QString &, const QString &)
{
    return false;
}
bool QtServiceController::uninstall()
{
    return false;
}
bool QtServiceController::start(const QStringList &)
{
    return false;
}
bool QtServiceController::start()
{
    return false;
}
bool QtServiceController::stop()
{
    return false;
}
bool QtServiceController::pause()
{
    return false;
}
bool QtServiceController::resume()
{
    return false;
}
bool QtServiceController::sendCommand(int)
{
    return false;
}

QtServiceBase::QtServiceBase(int, char **, const QString &name)
{
    g_instance = this;
    d_ptr = new QtServiceBasePrivate(name);
}
QtServiceBase::~QtServiceBase()
{
    delete d_ptr;
    g_instance = nullptr;
}
QString QtServiceBase::serviceName() const
{
    return d_ptr->controller.serviceName();
}
QString QtServiceBase::serviceDescription() const
{
    return d_ptr->description;
}
void QtServiceBase::setServiceDescription(const QString &description)
{
    d_ptr->description = description;
}
QtServiceController::StartupType QtServiceBase::startupType() const
{
    return d_ptr->startupType;
}
void QtServiceBase::setStartupType(QtServiceController::StartupType t)
{
    d_ptr->startupType = t;
}
QtServiceBase::ServiceFlags QtServiceBase::serviceFlags() const
{
    return d_ptr->flags;
}
void QtServiceBase::setServiceFlags(ServiceFlags flags)
{
    d_ptr->flags = flags;
}
int QtServiceBase::exec()
{
    return -4;
}
void QtServiceBase::logMessage(const QString &, MessageType, int, uint, const QByteArray &) { }
QtServiceBase *QtServiceBase::instance()
{
    return g_instance;
}
void QtServiceBase::stop() { }
void QtServiceBase::pause() { }
void QtServiceBase::resume() { }
void QtServiceBase::processCommand(int) { }
