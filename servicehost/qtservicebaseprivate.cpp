#include "qtservicebaseprivate.h"

#include "handlerthread.h"
#include "qtservicecontrollerhandler.h"
#include "qtservicestarter.h"
#include "qtservicesysprivate.h"
#include "serviceapi.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <climits>
#include <unistd.h>
#include <vector>

namespace {

// argc/argv in the local 8-bit encoding that stay valid while the application lives.
class ArgumentVector
{
public:
    explicit ArgumentVector(const QStringList &arguments)
    {
        for (const QString &a : arguments)
            m_texts.append(a.toLocal8Bit());
        for (QByteArray &t : m_texts)
            m_argv.push_back(t.data());
        m_argv.push_back(nullptr);
        argc = int(m_texts.size());
    }
    char **argv() { return m_argv.data(); }
    int argc;

private:
    QByteArrayList m_texts;
    std::vector<char *> m_argv;
};

} // namespace

QtServiceBasePrivate::QtServiceBasePrivate(QtServiceBase *owner, const QString &name)
    : q_ptr(owner)
    , controller(name)
{ }

QtServiceBasePrivate::~QtServiceBasePrivate()
{
    delete sysd;
}

QString QtServiceBasePrivate::filePath()
{
    // The kernel's record of our own executable; not limited in length as a fixed buffer would be.
    QByteArray buffer(PATH_MAX, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), size_t(buffer.size()));
        if (n < 0)
            return QString();
        if (n < buffer.size())
            return QFile::decodeName(buffer.left(int(n)));
        buffer.resize(buffer.size() * 2);
    }
}

int QtServiceBasePrivate::run()
{
    ArgumentVector arguments(args);
    q_ptr->createApplication(arguments.argc, arguments.argv());
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return -1;
    QtServiceStarter starter(this);
    QTimer::singleShot(0, &starter, SLOT(slotStart()));
    const int result = q_ptr->executeApplication();
    delete app;
    return result;
}

bool QtServiceBasePrivate::sysInit()
{
    sysd = new QtServiceSysPrivate;
    sysd->serviceStatus = nullptr;
    sysd->status.dwServiceType = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
    sysd->status.dwCurrentState = SERVICE_STOPPED;
    sysd->status.dwControlsAccepted = QtServiceSysPrivate::acceptedControls(QtServiceBase::ServiceFlags(serviceFlags));
    sysd->status.dwWin32ExitCode = 0;
    sysd->status.dwServiceSpecificExitCode = 0;
    sysd->status.dwCheckPoint = 0;
    sysd->status.dwWaitHint = 0;
    return true;
}

void QtServiceBasePrivate::sysCleanup()
{
    delete sysd;
    sysd = nullptr;
}

bool QtServiceBasePrivate::start()
{
    sysInit();
    if (!loadServiceApi())
        return false;

    HandlerThread *thread = new HandlerThread;
    thread->start(QThread::InheritPriority);
    if (!sysd->startSemaphore.tryAcquire(1, 20000))
        return false; // the dispatcher thread is left running

    if (thread->success) {
        ArgumentVector arguments(sysd->serviceArgs);
        q_ptr->createApplication(arguments.argc, arguments.argv());
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return false;
        sysd->controllerHandler = new QtServiceControllerHandler(sysd);
        sysd->startSemaphore2.release();

        sysd->status.dwWin32ExitCode = DWORD(q_ptr->executeApplication());
        sysd->setStatus(SERVICE_STOPPED);

        if (thread->isRunning())
            thread->wait(1000);
        delete sysd->controllerHandler;
        sysd->controllerHandler = nullptr;
        if (thread->isFinished())
            delete thread;
        delete app;
        sysCleanup();
        return true;
    }
    if (thread->console) {
        thread->wait();
        delete thread;
        return controller.start(args.mid(1));
    }
    // The dispatcher failed and its thread is ending: do not leave it behind.
    if (thread->wait(2000))
        delete thread;
    return false;
}

bool QtServiceBasePrivate::install(const QString &account, const QString &password)
{
    if (!loadServiceApi())
        return false;
    SC_HANDLE manager = pOpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;

    QString acc = account;
    const WCHAR *accountArg = nullptr;
    const WCHAR *passwordArg = nullptr;
    if (!acc.isEmpty()) {
        if (!acc.contains(QLatin1Char('\\')))
            acc.prepend(QStringLiteral(".\\"));
        if (!acc.endsWith(QStringLiteral("\\LocalSystem")))
            accountArg = reinterpret_cast<const WCHAR *>(acc.utf16());
    }
    if (!password.isEmpty() && accountArg)
        passwordArg = reinterpret_cast<const WCHAR *>(password.utf16());

    DWORD serviceType = SERVICE_WIN32_OWN_PROCESS;
    if (!accountArg)
        serviceType |= SERVICE_INTERACTIVE_PROCESS;
    const DWORD startType
        = startupType == QtServiceController::AutoStartup ? DWORD(SERVICE_AUTO_START) : DWORD(SERVICE_DEMAND_START);

    const QString name = controller.serviceName();
    const QString program = filePath();
    bool result = false;
    SC_HANDLE service = pCreateService(manager, reinterpret_cast<LPCWSTR>(name.utf16()),
        reinterpret_cast<LPCWSTR>(name.utf16()), SERVICE_ALL_ACCESS, serviceType, startType, SERVICE_ERROR_NORMAL,
        reinterpret_cast<LPCWSTR>(program.utf16()), nullptr, nullptr, nullptr, accountArg, passwordArg);
    if (service) {
        result = true;
        if (!serviceDescription.isEmpty()) {
            SERVICE_DESCRIPTIONW description;
            description.lpDescription = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(serviceDescription.utf16()));
            pChangeServiceConfig2(service, SERVICE_CONFIG_DESCRIPTION, &description);
        }
        pCloseServiceHandle(service);
    }
    pCloseServiceHandle(manager);
    return result;
}
