#include "workthread.h"

#include "cmessages.h"
#include "cpcconfig.h"
#include "cshortframe.h"
#include "cshortframereader.h"
#include "cstorepath.h"
#include "cupdatelist.h"
#include "cupdatelog.h"
#include "cupdatethread.h"

#include <QFile>
#include <QXmlStreamReader>

#include <unistd.h>

namespace {
const int defaultWaitMs = 30000;
const int defaultDeadlineMs = 120000;
// Blocking waits run in slices this long, so that a stop request is noticed promptly.
const int sliceMs = 100;

// Whether a file holds a well-formed document, read as the store's parser reads it but without
// building the tree (the store parses the file itself under its lock).
bool holdsDocument(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader reader(&file);
    bool root = false;
    while (!reader.atEnd()) {
        reader.readNext();
        root = root || reader.isStartElement();
    }
    return root && !reader.hasError();
}

int envMs(const char *name, int fallback)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue(name, &ok);
    return ok && ms > 0 ? ms : fallback;
}
} // namespace

WorkThread::WorkThread(qintptr socketDescriptor, QObject *parent)
    : QThread(parent)
    , m_descriptor(socketDescriptor)
    , m_socket(nullptr)
    , m_stopLevel(NoStop)
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

void WorkThread::requestStop(StopLevel level)
{
    int current = m_stopLevel.loadRelaxed();
    while (current < level && !m_stopLevel.testAndSetOrdered(current, level, current)) { }
}

void WorkThread::run()
{
    QTcpSocket socket;
    m_socket = &socket;
    if (!socket.setSocketDescriptor(m_descriptor)) {
        emit error(socket.error());
        ::close(int(m_descriptor)); // nobody else will
        m_socket = nullptr;
        return;
    }
    readSocket();
    closeConnection();
    m_socket = nullptr;
}

bool WorkThread::waitForMore(const QDeadlineTimer &overall, bool received)
{
    QDeadlineTimer wait(waitMs());
    for (;;) {
        const int level = m_stopLevel.loadAcquire();
        if (level >= HardStop || (level >= SoftStop && !received))
            return false;
        const qint64 left = qMin(wait.remainingTime(), overall.remainingTime());
        if (left <= 0)
            return false;
        if (m_socket->waitForReadyRead(int(qMin<qint64>(left, sliceMs))))
            return true;
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return false; // closed or broken: no more bytes will come
    }
}

void WorkThread::readSocket()
{
    const QDeadlineTimer overall(deadlineMs());
    CShortFrameReader reader;
    bool received = m_socket->bytesAvailable() > 0;
    for (;;) {
        const CShortFrameReader::Status status = reader.readFrom(m_socket);
        if (status == CShortFrameReader::Complete)
            break;
        if (status == CShortFrameReader::Error)
            return; // a frame we refuse: no reply
        if (!waitForMore(overall, received))
            return; // time-out, closed connection or stop: no reply, nothing written
        received = true;
    }

    const QString text = reader.text();
    const QString keyword = text.section(QLatin1Char(':'), 0, 0);
    if (keyword == QLatin1String("changelog"))
        serveChangeNotice(text);
    else if (keyword == QLatin1String("update"))
        serveUpdateCheck(text);
    // Any other text: nothing is done and nothing is answered.
}

void WorkThread::serveChangeNotice(const QString &text)
{
    CMessages::ChangeNotice notice;
    if (!CMessages::parseChangeNotice(text, &notice))
        return; // no notice text: nothing to apply, no reply
    if (!CStorePath::isSafeUuid(notice.uuid))
        return; // cannot name a client file of ours

    // Only a client that has an inventory file can have its changes stored. For any other the
    // notice stays unanswered, so the client keeps its records and sends them again later.
    if (!holdsDocument(CStorePath::appDir() + QLatin1Char('/') + notice.uuid + QStringLiteral(".xml")))
        return;

    CPcConfig config(notice.uuid);
    if (config.open() != 1)
        return;
    if (config.applyChange(notice.notice) != 0)
        return;
    writeReply(CMessages::buildAck());
}

void WorkThread::serveUpdateCheck(const QString &text)
{
    CMessages::UpdateCheck check;
    if (!CMessages::parseUpdateCheck(text, &check))
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
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->waitForDisconnected(waitMs());
        return;
    }

    QStringList files;
    if (check.platform == QLatin1String("1") && !windows.isEmpty())
        files = windows;
    else if (check.platform == QLatin1String("2") && !linuxFiles.isEmpty())
        files = linuxFiles;

    // The push runs in a thread of its own on this connection. It cannot be our child (we live in
    // the application thread), so this worker owns it and waits for it: the worker, the socket and
    // the push end together.
    CUpdateThread push(nullptr, m_socket, files, QStringLiteral("0"));
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
        if (m_stopLevel.loadAcquire() >= HardStop || pushDeadline.hasExpired())
            push.requestInterruption();
    }
}

void WorkThread::writeReply(const QString &text)
{
    if (!CShortFrame::write(m_socket, text))
        return;
    QDeadlineTimer wait(waitMs());
    while (m_socket->bytesToWrite() > 0 && !wait.hasExpired() && m_stopLevel.loadAcquire() < HardStop) {
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
