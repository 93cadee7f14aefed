#include "workthread.h"

#include "cmessages.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cshortframe.h"
#include "cstorepath.h"
#include "cupdatelist.h"
#include "cupdatelog.h"
#include "cupdatethread.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const int defaultWaitMs = 30000;
const int defaultDeadlineMs = 120000;
// Blocking waits run in slices this long, so that a stop request is noticed promptly.
const int sliceMs = 100;

// A connection closed with bytes its peer never took stays in the kernel, bytes and all, until the
// kernel gives up on it (minutes), and the peer never sees the end; reset, it ends at once.
void resetOnClose(int descriptor)
{
    const linger reset {1, 0};
    ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

int envMs(const char *name, int fallback)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue(name, &ok);
    return ok && ms > 0 ? ms : fallback;
}
} // namespace

WorkThread::WorkThread(QObject *parent)
    : QThread(parent)
    , m_pending(false)
    , m_descriptor(-1)
    , m_socket(nullptr)
    , m_stop(0)
{ }

WorkThread::~WorkThread() { }

int WorkThread::waitMs()
{
    static const int ms = envMs("BRAMIX_TEST_SERVER_WAIT_MS", defaultWaitMs);
    return ms;
}

int WorkThread::deadlineMs()
{
    static const int ms = envMs("BRAMIX_TEST_SERVER_DEADLINE_MS", defaultDeadlineMs);
    return ms;
}

bool WorkThread::isUpdateCheck(const QString &request)
{
    return request.section(QLatin1Char(':'), 0, 0) == QLatin1String("update");
}

void WorkThread::serve(qintptr socketDescriptor, const QString &request)
{
    QMutexLocker lock(&m_mutex);
    m_descriptor = socketDescriptor;
    m_request = request;
    m_pending = true;
    m_wake.wakeOne();
}

void WorkThread::requestStop()
{
    QMutexLocker lock(&m_mutex);
    m_stop.storeRelease(1);
    // The store's lock waits look at this; it is never cleared, since the worker ends.
    requestInterruption();
    m_wake.wakeOne();
}

bool WorkThread::peerHasClosed(qintptr socketDescriptor)
{
    pollfd p {int(socketDescriptor), POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void WorkThread::run()
{
    for (;;) {
        {
            QMutexLocker lock(&m_mutex);
            while (!m_pending && !stopped())
                m_wake.wait(&m_mutex);
            if (!m_pending)
                return;
            m_pending = false;
        }
        serveConnection();
        m_request.clear();
        // Nothing runs an event loop here: objects of this thread deleted later (by the socket's
        // machinery) are deleted now, not when the thread ends.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        emit served();
    }
}

void WorkThread::serveConnection()
{
    QTcpSocket socket;
    m_socket = &socket;
    if (!socket.setSocketDescriptor(m_descriptor)) {
        emit error(socket.error());
        ::close(int(m_descriptor)); // nobody else will
        m_socket = nullptr;
        return;
    }
    serveRequest();
    closeConnection();
    m_socket = nullptr;
}

void WorkThread::serveRequest()
{
    const QString keyword = m_request.section(QLatin1Char(':'), 0, 0);
    if (keyword == QLatin1String("changelog"))
        serveChangeNotice();
    else if (keyword == QLatin1String("update"))
        serveUpdateCheck();
    // Any other text: nothing is done and nothing is answered.
}

void WorkThread::serveChangeNotice()
{
    CMessages::ChangeNotice notice;
    if (!CMessages::parseChangeNotice(m_request, &notice))
        return; // no notice text: nothing to apply, no reply
    if (!CStorePath::isSafeUuid(notice.uuid))
        return; // cannot name a client file of ours

    // A client without an inventory file yet: the console's scan fills the file from a live
    // identity answer, which holds these changes already. Storing them now, or leaving the notice
    // unanswered so that the client sends it again after the fill, would store them twice: the
    // notice is acknowledged and nothing is stored.
    const QFileInfo file(CStorePath::appDir() + QLatin1Char('/') + notice.uuid + QStringLiteral(".xml"));
    if (!file.exists() || (file.isFile() && file.size() == 0)) {
        CSet list;
        list.openList();
        list.setNotice(notice.uuid, false);
        writeReply(CMessages::buildAck());
        return;
    }

    // A file that does not parse, or a save that fails, leaves the notice unanswered: the client
    // keeps its records and sends them again.
    CPcConfig config(notice.uuid);
    if (config.open() != 1)
        return;
    if (config.applyChange(notice.notice) != 0)
        return;
    writeReply(CMessages::buildAck());
}

void WorkThread::serveUpdateCheck()
{
    CMessages::UpdateCheck check;
    if (!CMessages::parseUpdateCheck(m_request, &check))
        return; // fewer than four fields: not served

    QStringList windows;
    QStringList linuxFiles;
    QString version;
    QString setdate;
    {
        CUpdateList list;
        list.getList(windows, linuxFiles, version, setdate);
    }

    // Versions compare as plain text, character by character.
    if (!(check.version < version) || (windows.isEmpty() && linuxFiles.isEmpty())) {
        m_socket->disconnectFromHost();
        QDeadlineTimer wait(waitMs());
        while (m_socket->state() != QAbstractSocket::UnconnectedState && !wait.hasExpired() && !stopped())
            m_socket->waitForDisconnected(int(qMin<qint64>(wait.remainingTime(), sliceMs)));
        return;
    }

    QStringList files;
    if (check.platform == QLatin1String("1") && !windows.isEmpty())
        files = windows;
    else if (check.platform == QLatin1String("2") && !linuxFiles.isEmpty())
        files = linuxFiles;

    // A client that has gone meanwhile gets no record of a push it cannot take, nor does one when
    // the server stops.
    if (stopped() || peerHasClosed(m_socket->socketDescriptor()))
        return;
    // The push runs in a thread of its own on this connection. It cannot be our child (we live in
    // the application thread), so this worker owns it and waits for it: the worker, the socket and
    // the push end together.
    CUpdateThread push(nullptr, m_socket, files, QStringLiteral("0"));
    // A push that fails (a client that stopped reading, a stop, a deadline) is not taken further.
    const int descriptor = int(m_socket->socketDescriptor());
    connect(
        &push, &CUpdateThread::updateConnectFailed, &push, [descriptor] { resetOnClose(descriptor); },
        Qt::DirectConnection);
    {
        CUpdateLog log;
        log.init();
        log.addRecord(check.hostLabel, check.version, version, files, QStringLiteral("auto"));
        log.save();
    }
    // A client that stops reading would hold the push, and this worker, for ever: a push gets five
    // times a request's deadline (10 minutes), plenty for a client file on any network.
    const QDeadlineTimer pushDeadline(qint64(deadlineMs()) * 5);
    push.start();
    while (!push.wait(QDeadlineTimer(sliceMs))) {
        if (stopped() || pushDeadline.hasExpired())
            push.requestInterruption();
    }
}

void WorkThread::writeReply(const QString &text)
{
    if (!CShortFrame::write(m_socket, text))
        return;
    QDeadlineTimer wait(waitMs());
    while (m_socket->bytesToWrite() > 0 && !wait.hasExpired() && !stopped()) {
        if (!m_socket->waitForBytesWritten(int(qMin<qint64>(wait.remainingTime(), sliceMs)))
            && m_socket->state() != QAbstractSocket::ConnectedState)
            break;
    }
}

void WorkThread::closeConnection()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    if (m_socket->bytesToWrite() > 0)
        m_socket->abort(); // the peer would not take the rest
    else
        m_socket->disconnectFromHost();
}
