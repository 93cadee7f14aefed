#include "bxserverservice.h"

#include "catomicfile.h"
#include "cmessages.h"
#include "cset.h"
#include "cstorepath.h"
#include "fortuneserver.h"

#include <QHostAddress>

#include <sys/resource.h>

namespace {
// How long a stop waits for running workers and pushes before it interrupts them.
const int stopBoundMs = 10000;
// A store file's replacement takes well under a second; a temporary file older than this was left
// by a process that died while writing it.
const int staleTemporarySeconds = 5 * 60;

void logSuccess(const QString &text)
{
    QtServiceBase::instance()->logMessage(text, QtServiceBase::Success, 0, 0, QByteArray());
}

// Every connection that has sent nothing yet holds a descriptor (not a worker) until its wait ends,
// so the open-file limit is what bounds how many such peers the server can hold at once. The usual
// soft limit (1024) would let about a thousand silent peers make every further accept fail; the
// hard limit is what the administrator allows.
void raiseFileLimit()
{
    rlimit lim {};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur >= lim.rlim_max)
        return;
    lim.rlim_cur = lim.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &lim);
}
} // namespace

BXServerService::BXServerService(int argc, char **argv, const QString &name)
    : QtService<QCoreApplication>(argc, argv, name)
    , m_server(nullptr)
{ }

BXServerService::~BXServerService() { }

void BXServerService::start()
{
    raiseFileLimit();
    // A server or console killed while it replaced a store file leaves the temporary file beside it.
    CAtomicFile::removeStaleTemporaries(CStorePath::appDir(), staleTemporarySeconds);
    // Every change notice looks up its client's flag in list.xml. The store keeps the list it parsed
    // last; parsing it once now spares the first burst of notices from parsing it all at once.
    {
        CSet list;
        list.openList();
    }
    m_server = new FortuneServer();
    // Clients of a whole network report at the same service start; a deep backlog keeps their
    // connections waiting for the accept instead of being dropped.
    m_server->setListenBacklogSize(1024);
    if (!m_server->listen(QHostAddress::Any, CMessages::ServerPort)) {
        logSuccess(QStringLiteral("listen error:") + m_server->errorString());
        QCoreApplication::quit();
        return;
    }
    logSuccess(QStringLiteral("service binding ok!"));
}

void BXServerService::stop()
{
    // Let running requests and pushes end before the program does.
    if (m_server)
        m_server->shutdown(stopBoundMs);
}

void BXServerService::pause() { }

void BXServerService::resume() { }
