#include "qtservicebase.h"

#include "qtservicebaseprivate.h"
#include "qtservicesysprivate.h"
#include "serviceapi.h"

#include <QtGlobal>

#include <cstdio>
#include <string>

static QtServiceBase *g_serviceInstance = nullptr;

QtServiceBase::QtServiceBase(int argc, char **argv, const QString &name)
{
    g_serviceInstance = this;

    QString nm(name);
    if (nm.length() > 255) {
        qWarning("QtService: 'name' is longer than 255 characters.");
        nm.truncate(255);
    }
    if (nm.contains(QLatin1Char('\\'))) {
        qWarning("QtService: 'name' contains backslashes '\\'.");
        nm.replace(QLatin1Char('\\'), QChar(0));
    }

    d_ptr = new QtServiceBasePrivate(this, nm);
    d_ptr->serviceFlags = 0;
    d_ptr->sysd = nullptr;
    for (int i = 0; i < argc; ++i)
        d_ptr->args.append(QString::fromLocal8Bit(argv[i]));
}

QtServiceBase::~QtServiceBase()
{
    delete d_ptr;
    g_serviceInstance = nullptr;
}

QtServiceBase *QtServiceBase::instance()
{
    return g_serviceInstance;
}

QString QtServiceBase::serviceName() const
{
    return d_ptr->controller.serviceName();
}

QString QtServiceBase::serviceDescription() const
{
    return d_ptr->serviceDescription;
}

void QtServiceBase::setServiceDescription(const QString &description)
{
    d_ptr->serviceDescription = description;
}

QtServiceController::StartupType QtServiceBase::startupType() const
{
    return QtServiceController::StartupType(d_ptr->startupType);
}

void QtServiceBase::setStartupType(QtServiceController::StartupType type)
{
    d_ptr->startupType = type;
}

QtServiceBase::ServiceFlags QtServiceBase::serviceFlags() const
{
    return ServiceFlags(d_ptr->serviceFlags);
}

void QtServiceBase::setServiceFlags(ServiceFlags flags)
{
    if (d_ptr->serviceFlags == int(flags))
        return;
    d_ptr->serviceFlags = int(flags);
    if (d_ptr->sysd)
        d_ptr->sysd->setServiceFlags(flags);
}

void QtServiceBase::logMessage(const QString &message, MessageType type, int id, uint category, const QByteArray &data)
{
    if (!loadServiceApi())
        return;
    WORD eventType;
    switch (type) {
    case Error:
        eventType = EVENTLOG_ERROR_TYPE;
        break;
    case Warning:
        eventType = EVENTLOG_WARNING_TYPE;
        break;
    case Information:
        eventType = EVENTLOG_INFORMATION_TYPE;
        break;
    default:
        eventType = EVENTLOG_SUCCESS;
        break;
    }
    const std::u16string source = serviceName().toStdU16String();
    HANDLE h = pRegisterEventSource(nullptr, source.c_str());
    if (!h)
        return;
    const std::u16string text = message.toStdU16String();
    LPCWSTR strings[1] = {text.c_str()};
    pReportEvent(h, eventType, WORD(category), DWORD(id), nullptr, 1, DWORD(data.size()), strings,
        data.isEmpty() ? nullptr : const_cast<char *>(data.constData()));
    pDeregisterEventSource(h);
}

void QtServiceBase::stop() { }

void QtServiceBase::pause() { }

void QtServiceBase::resume() { }

void QtServiceBase::processCommand(int /*code*/) { }

int QtServiceBase::exec()
{
    const QStringList &args = d_ptr->args;
    const QByteArray name = serviceName().toLatin1();
    if (args.size() > 1) {
        const QString a = args.at(1);
        if (a == QLatin1String("-i") || a == QLatin1String("-install")) {
            if (!d_ptr->controller.isInstalled()) {
                const QString account = args.size() > 2 ? args.at(2) : QString();
                const QString password = args.size() > 3 ? args.at(3) : QString();
                if (!d_ptr->install(account, password)) {
                    fprintf(stderr, "The service %s could not be installed\n", name.constData());
                    return -1;
                }
                printf("The service %s has been installed under: %s\n", name.constData(),
                    QtServiceBasePrivate::filePath().toLatin1().constData());
            } else {
                fprintf(stderr, "The service %s is already installed\n", name.constData());
            }
            return 0;
        } else if (a == QLatin1String("-u") || a == QLatin1String("-uninstall")) {
            if (d_ptr->controller.isInstalled()) {
                if (!d_ptr->controller.uninstall()) {
                    fprintf(stderr, "The service %s could not be uninstalled\n", name.constData());
                    return -1;
                }
                printf("The service %s has been uninstalled.\n", name.constData());
            } else {
                fprintf(stderr, "The service %s is not installed\n", name.constData());
            }
            return 0;
        } else if (a == QLatin1String("-v") || a == QLatin1String("-version")) {
            printf("The service\n\t%s\n\t%s\n\n", name.constData(), args.at(0).toLatin1().constData());
            printf("is %s", d_ptr->controller.isInstalled() ? "installed" : "not installed");
            printf(" and %s\n\n", d_ptr->controller.isRunning() ? "running" : "not running");
            return 0;
        } else if (a == QLatin1String("-e") || a == QLatin1String("-exec")) {
            d_ptr->args.removeAt(1);
            const int ec = d_ptr->run();
            if (ec == -1)
                qErrnoWarning("The service could not be executed.");
            return ec;
        } else if (a == QLatin1String("-t") || a == QLatin1String("-terminate")) {
            if (!d_ptr->controller.stop())
                qErrnoWarning("The service could not be stopped.");
            return 0;
        } else if (a == QLatin1String("-p") || a == QLatin1String("-pause")) {
            d_ptr->controller.pause();
            return 0;
        } else if (a == QLatin1String("-r") || a == QLatin1String("-resume")) {
            d_ptr->controller.resume();
            return 0;
        } else if (a == QLatin1String("-c") || a == QLatin1String("-command")) {
            int code = 0;
            if (args.size() > 2)
                code = args.at(2).toInt();
            d_ptr->controller.sendCommand(code);
            return 0;
        } else if (a == QLatin1String("-h") || a == QLatin1String("-help")) {
            printf("\n%s -[i|u|e|s|v|h]\n"
                   "\t-i(nstall) [account] [password]\t: Install the service, optionally using given account and "
                   "password\n"
                   "\t-u(ninstall)\t: Uninstall the service.\n"
                   "\t-e(xec)\t\t: Run as a regular application. Useful for debugging.\n"
                   "\t-t(erminate)\t: Stop the service.\n"
                   "\t-c(ommand) num\t: Send command code num to the service.\n"
                   "\t-v(ersion)\t: Print version and status information.\n"
                   "\t-h(elp)   \t: Show this help\n"
                   "\tNo arguments\t: Start the service.\n",
                args.at(0).toLatin1().constData());
            return 0;
        }
    }
    if (!d_ptr->start()) {
        fprintf(stderr, "The service %s could not start\n", name.constData());
        return -4;
    }
    return 0;
}
