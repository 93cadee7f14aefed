#include "bxclientservice.h"

#include "cchangenotice.h"
#include "cmessages.h"
#include "combase.h"
#include "cset.h"
#include "cupdate.h"
#include "fortuneserver.h"

#include <QHostAddress>

namespace {

void log(const QString &text)
{
    QtServiceBase::instance()->logMessage(text, QtServiceBase::Success, 0, 0);
}

} // namespace

BXClientService::BXClientService(int argc, char **argv, const QString &name)
    : QtService<QApplication>(argc, argv, name)
{ }

// The three objects live until the process ends.
BXClientService::~BXClientService() = default;

void BXClientService::createApplication(int &argc, char **argv)
{
    QtService<QApplication>::createApplication(argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void BXClientService::start()
{
    // The agent's objects live as long as its event loop; free them once it has ended, whichever way
    // it ended (stop request, failed listen, hand-over to Swaplet).
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [this] {
        delete m_server;
        m_server = nullptr;
        delete m_notice;
        m_notice = nullptr;
        delete m_update;
        m_update = nullptr;
    });
    // 1. Update check: the request goes out when the connection is established.
    try {
        m_update = new CUpdate;
        m_update->checkUpdate();
    } catch (...) {
        log(QStringLiteral("unknow exception in calling method of CSet"));
    }

    // 2. Inventory and change detection, synchronously.
    try {
        CSet set;
        set.init();
        set.checkVersion();
        set.setUUID_config();
        set.checkChange();
    } catch (...) {
        log(QStringLiteral("unknow exception in calling method of CSet"));
    }

    // 3. Change notice: connects only when there are unacknowledged records.
    try {
        m_notice = new CChangeNotice;
        m_notice->init();
        m_notice->noticeChange();
    } catch (...) {
        log(QStringLiteral("unknow exception in calling method of CChangeNotice"));
    }

    // 4. Command listener on every local IPv4 address; without it the agent is of no use, so a failed
    // listen ends the service.
    m_server = new FortuneServer(nullptr);
    if (m_server->listen(QHostAddress::AnyIPv4, CMessages::AgentPort)) {
        log(QStringLiteral("service binding ok!"));
    } else {
        log(QStringLiteral("listen error:") + m_server->errorString());
        QCoreApplication::quit();
    }
}

void BXClientService::pause() { }

void BXClientService::resume() { }
