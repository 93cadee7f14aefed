#include "cupdatethread.h"

#include "ccommandframe.h"
#include "cmessages.h"
#include "cshortframe.h"
#include "cshortframereader.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace {

const int kChunk = 8192;
const int kSliceMs = 100;
const int kConnectMs = 30000;
const int kReadMs = 30000;
const int kStallMs = 30000;

int stallMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("BRAMIX_TEST_PUSH_STALL_MS", &ok);
    return ok && ms > 0 ? ms : kStallMs;
}

// The agent takes the name as it stands in the header: it splits the header at ":", reads it as
// Latin-1 and refuses names it may not create in its directory.
bool isSendableName(const QString &name)
{
    if (!CMessages::isSafeFileName(name))
        return false;
    for (const QChar c : name) {
        if (c.unicode() > 0xFF || c == QLatin1Char(':'))
            return false;
    }
    return true;
}

} // namespace

CUpdateThread::CUpdateThread(QObject *parent)
    : QThread(parent)
    , m_socket(nullptr)
    , m_socketHome(nullptr)
    , m_failed(false)
    , m_stallMs(stallMs())
    , m_stallTold(false)
{ }

CUpdateThread::CUpdateThread(QObject *parent, QTcpSocket *socket, const QStringList &files, const QString &strIP)
    : QThread(parent)
    , strIP(strIP)
    , m_socket(socket)
    , m_files(files)
    , m_socketHome(nullptr)
    , m_failed(false)
    , m_stallMs(stallMs())
    , m_stallTold(false)
{
    // Blocking calls on a socket from a thread it does not belong to make its notifiers complain;
    // lend it to this thread for the push.
    if (m_socket && !m_socket->parent() && m_socket->thread() == QThread::currentThread()) {
        m_socketHome = m_socket->thread();
        m_socket->moveToThread(this);
    }
}

CUpdateThread::~CUpdateThread() = default;

QString CUpdateThread::getFileName(QString strPath)
{
    return CMessages::fileNameOf(strPath);
}

bool CUpdateThread::canPush(const QString &path)
{
    return isSendableName(CMessages::fileNameOf(path));
}

bool CUpdateThread::connectToAgent()
{
    // waitForConnected gives up the attempt when it times out, so it cannot be sliced; a local loop
    // with a ticking timer watches for interruption instead.
    QEventLoop loop;
    QTimer tick;
    const QDeadlineTimer deadline(kConnectMs);
    QElapsedTimer connecting;
    connecting.start();
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        if (isInterruptionRequested() || deadline.hasExpired())
            loop.quit();
        // A client that never answers (switched off, its packets dropped) stalls a push as surely as
        // one that never reads.
        if (!m_stallTold && connecting.elapsed() >= m_stallMs / 10) {
            m_stallTold = true;
            emit updateStalled(strIP);
        }
    });
    QObject::connect(m_socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(m_socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    m_socket->connectToHost(strIP, CMessages::AgentPort, QIODevice::ReadWrite);
    if (m_socket->state() != QAbstractSocket::ConnectedState
        && m_socket->state() != QAbstractSocket::UnconnectedState) {
        tick.start(kSliceMs);
        loop.exec();
    }
    QObject::disconnect(m_socket, nullptr, &loop, nullptr);
    if (m_socket->state() == QAbstractSocket::ConnectedState && !isInterruptionRequested())
        return true;
    m_socket->abort();
    return false;
}

bool CUpdateThread::waitWritten()
{
    // A peer that accepts and never reads would hold us (and whoever waits for us) for ever: the
    // deadline counts from the last byte the socket took, so a slow reader still gets everything.
    while (m_socket->bytesToWrite() > 0) {
        if (isInterruptionRequested() || m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        const qint64 before = m_socket->bytesToWrite();
        m_socket->waitForBytesWritten(kSliceMs);
        if (m_socket->bytesToWrite() < before) {
            m_sinceProgress.restart();
            continue;
        }
        const qint64 idle = m_sinceProgress.elapsed();
        if (idle >= m_stallMs)
            return false;
        if (!m_stallTold && idle >= m_stallMs / 10) {
            m_stallTold = true;
            emit updateStalled(strIP);
        }
    }
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool CUpdateThread::pushFile(const QString &path)
{
    const QString name = getFileName(path);
    if (!isSendableName(name))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray head = CCommandFrame::encodeHead(CMessages::filePushHeader(name), size);
    if (head.isEmpty())
        return false; // the total would not fit its field

    char *buffer = new char[kChunk];
    bool ok = true;
    // The size goes out before the first payload byte, so make sure first that every announced
    // byte can be read; a file we cannot read whole is not announced at all.
    for (qint64 seen = 0; ok && seen < size;) {
        const qint64 n = file.read(buffer, qMin<qint64>(kChunk, size - seen));
        if (n <= 0)
            ok = false;
        else
            seen += n;
    }
    ok = ok && file.seek(0);

    if (ok) {
        ok = m_socket->write(head) == head.size();
        if (ok && size == 0)
            ok = waitWritten(); // no payload piece follows: see the head out before we go on
        for (qint64 sent = 0; ok && sent < size;) {
            const qint64 n = file.read(buffer, qMin<qint64>(kChunk, size - sent));
            // Shrunk or unreadable since the check: the frame cannot be completed.
            if (n <= 0 || m_socket->write(buffer, n) != n) {
                ok = false;
                break;
            }
            sent += n;
            ok = waitWritten();
        }
    }
    delete[] buffer;
    file.close();
    return ok;
}

void CUpdateThread::sendFile(QString strFile)
{
    if (!m_socket || !pushFile(strFile))
        m_failed = true;
}

bool CUpdateThread::pushAll()
{
    m_failed = false;
    m_sinceProgress.start();
    for (const QString &path : std::as_const(m_files)) {
        sendFile(path);
        if (m_failed)
            break; // the rest is not sent after a file that could not be
    }
    return !m_failed;
}

void CUpdateThread::sendCommand()
{
    if (!m_socket)
        return;
    QStringList names;
    for (const QString &path : std::as_const(m_files))
        names.append(getFileName(path));
    CShortFrame::write(m_socket, CMessages::buildFileList(names));
}

void CUpdateThread::readInfo()
{
    if (!m_socket)
        return;
    CShortFrameReader reader;
    QDeadlineTimer idle(kReadMs);
    for (;;) {
        const CShortFrameReader::Status status = reader.readFrom(m_socket);
        if (status == CShortFrameReader::Complete)
            break;
        if (status == CShortFrameReader::Error)
            return;
        if (isInterruptionRequested() || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (m_socket->waitForReadyRead(kSliceMs))
            idle.setRemainingTime(kReadMs);
        else if (idle.hasExpired())
            return;
    }
    pushAll();
    while (m_socket->state() != QAbstractSocket::UnconnectedState && !isInterruptionRequested())
        m_socket->waitForDisconnected(kSliceMs);
    m_socket->disconnectFromHost();
}

void CUpdateThread::run()
{
    QTcpSocket *own = nullptr;
    if (!m_socket) {
        own = new QTcpSocket;
        m_socket = own;
        if (!connectToAgent()) {
            delete own;
            m_socket = nullptr;
            emit updateConnectFailed(strIP);
            return;
        }
    }
    const bool pushed = pushAll();
    if (pushed)
        emit updateOK(strIP);
    else
        emit updateConnectFailed(strIP);
    // Bytes the peer did not take after a failure would keep the connection closing: drop them.
    if (!pushed && m_socket->bytesToWrite() > 0)
        m_socket->abort();
    else
        m_socket->disconnectFromHost();
    if (own) {
        delete own;
        m_socket = nullptr;
    } else if (m_socketHome) {
        m_socket->moveToThread(m_socketHome);
    }
}
