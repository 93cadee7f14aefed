#include "cscanthread.h"

#include "ccommandframe.h"
#include "cdialogs.h"
#include "cmessages.h"
#include "cnewclientwriter.h"
#include "cscananswer.h"
#include "cshortframe.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>
#include <QtEndian>

#include <atomic>

namespace {

const int kSliceMs = 100;

std::atomic<int> g_readWaitMs {CScanThread::ReadMs};
std::atomic<int> g_deadlineMs {CScanThread::DeadlineMs};

} // namespace

CScanThread::CScanThread(QObject *parent, QWidget *widget, QString strIP, QString strLocalIP)
    : QThread(parent)
    , m_widget(widget)
    , m_strIP(strIP)
    , m_strLocalIP(strLocalIP)
    , m_socket(nullptr)
{
    // A scan starts hundreds of probes; each goes as soon as it has reported.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    setStackSize(StackBytes);
}

CScanThread::~CScanThread() = default;

bool CScanThread::isValidUuid(const QString &uuid)
{
    static const QRegularExpression pattern(QStringLiteral("^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-"
                                                           "Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    return pattern.match(uuid).hasMatch();
}

void CScanThread::setReadWait(int ms)
{
    g_readWaitMs = ms;
}

void CScanThread::setDeadline(int ms)
{
    g_deadlineMs = ms;
}

void CScanThread::run()
{
    m_deadline = QDeadlineTimer(g_deadlineMs.load());
    m_socket = new QTcpSocket;
    // What the peer sends beyond this waits in the kernel until the probe takes it.
    m_socket->setReadBufferSize(ReadBufferBytes);
    if (connectToAgent()) {
        sendCommand();
        readInfo();
    } else {
        emit ScanFailed();
    }
    delete m_socket;
    m_socket = nullptr;
}

bool CScanThread::connectToAgent()
{
    // waitForConnected drops the attempt when it times out, so it cannot be
    // sliced; a local loop with a ticking timer watches for interruption instead.
    QEventLoop loop;
    QTimer tick;
    const QDeadlineTimer limit(ConnectMs);
    connect(&tick, &QTimer::timeout, &loop, [&]() {
        if (isInterruptionRequested() || limit.hasExpired())
            loop.quit();
    });
    connect(m_socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    connect(m_socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    m_socket->connectToHost(m_strIP, CMessages::AgentPort, QIODevice::ReadWrite);
    if (m_socket->state() != QAbstractSocket::ConnectedState
        && m_socket->state() != QAbstractSocket::UnconnectedState) {
        tick.start(kSliceMs);
        loop.exec();
    }
    disconnect(m_socket, nullptr, &loop, nullptr);
    if (m_socket->state() == QAbstractSocket::ConnectedState && !isInterruptionRequested())
        return true;
    m_socket->abort();
    return false;
}

void CScanThread::sendCommand()
{
    if (!m_socket)
        return;
    m_socket->write(CCommandFrame::encodeCommand(CMessages::identityRequestHeader(m_strLocalIP)));
    m_socket->flush();
}

bool CScanThread::waitForBytes(qint64 n)
{
    const int readMs = g_readWaitMs;
    QDeadlineTimer idle(readMs);
    while (m_socket->bytesAvailable() < n) {
        if (isInterruptionRequested() || idle.hasExpired() || m_deadline.hasExpired())
            return false;
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return false; // closed before the answer was complete
        const qint64 slice = qMin<qint64>(kSliceMs, qMin(idle.remainingTime(), m_deadline.remainingTime()));
        if (m_socket->waitForReadyRead(int(qMax<qint64>(slice, 1))))
            idle.setRemainingTime(readMs);
    }
    return true;
}

bool CScanThread::readAnswer(CScanAnswer *answer)
{
    // The count decides what the frame may hold: refuse an identity answer beyond
    // the cap before reading any of it.
    if (!waitForBytes(2))
        return false;
    QByteArray head = m_socket->peek(2);
    qint64 headBytes = 2;
    qint64 count = qFromBigEndian<quint16>(head.constData());
    if (count == CShortFrame::ExtendedMark) {
        if (!waitForBytes(6))
            return false;
        head = m_socket->peek(6);
        headBytes = 6;
        count = qFromBigEndian<quint32>(head.constData() + 2);
        if (count > MaxAnswerBytes)
            return false;
    }
    if (m_socket->skip(headBytes) != headBytes || answer->begin(count) != CScanAnswer::NeedMore)
        return false;
    char chunk[16 * 1024];
    while (answer->status() == CScanAnswer::NeedMore) {
        if (m_socket->bytesAvailable() == 0 && !waitForBytes(1))
            return false;
        const qint64 n = m_socket->read(chunk, qMin<qint64>(sizeof chunk, answer->bytesWanted()));
        if (n < 0 || answer->feed(chunk, n) == CScanAnswer::Invalid)
            return false;
    }
    return answer->finish();
}

void CScanThread::readInfo()
{
    if (!m_socket)
        return;
    CScanAnswer answer;
    const bool read = readAnswer(&answer);
    // The agent serves one connection at a time: it is free again before this client is listed.
    m_socket->disconnectFromHost();
    delete m_socket;
    m_socket = nullptr;
    if (!read || !handleAnswer(answer))
        emit ScanFailed();
}

bool CScanThread::handleAnswer(const CScanAnswer &answer)
{
    // Only the identity part is read here: the rows are the inventory file's, read as it is filled.
    // No agent's identity part is longer than the answer's head.
    const QStringView head = answer.head();
    if (answer.size() > head.size() && !head.contains(u'^'))
        return false;
    CMessages::IdentityAnswer identity;
    int fields = 0;
    // Fewer than three identity fields, or a UUID that is not one: no agent sends these.
    if (!CMessages::parseIdentity(head, &identity, &fields) || fields < 3 || !isValidUuid(identity.uuid))
        return false;
    const QString label = identity.hostLabel;
    CSet::NewPC client;
    client.uuid = identity.uuid;
    client.version = identity.version;
    client.os = identity.platform;
    const qsizetype open = label.indexOf(QLatin1Char('('));
    client.name = open < 0 ? label : label.left(open);
    if (open >= 0) {
        const qsizetype close = label.indexOf(QLatin1Char(')'), open + 1);
        client.ip = close < 0 ? label.mid(open + 1) : label.mid(open + 1, close - open - 1);
    }
    // Shown only once it is really listed: a client the tree shows but list.xml lacks would vanish at
    // the next rebuild.
    switch (CNewClientWriter::record(client, answer.text())) {
    case CNewClientWriter::ListMissing:
        warn(tr("Fetal error"), QStringLiteral("setting file missed.\n"));
        return false;
    case CNewClientWriter::WriteFailed:
        return false;
    case CNewClientWriter::Known:
        emit foundPC(QString(), QString(), QStringLiteral("0"));
        return true;
    case CNewClientWriter::Added:
        emit foundPC(label, client.uuid, client.os);
        return true;
    case CNewClientWriter::AddedWithoutFile:
        emit foundPC(label, client.uuid, client.os);
        warn(tr("Fetal error"), QStringLiteral("Create File failed.\n"));
        return true;
    }
    return false;
}

void CScanThread::warn(const QString &title, const QString &text)
{
    // Widgets belong to the GUI thread: the box is shown there, on the main
    // window.
    if (!m_widget)
        return;
    QPointer<QWidget> widget(m_widget);
    QMetaObject::invokeMethod(
        m_widget,
        [widget, title, text] {
            if (widget)
                CDialogs::instance()->message(widget, QMessageBox::Warning, title, text, QMessageBox::Ok);
        },
        Qt::QueuedConnection);
}
