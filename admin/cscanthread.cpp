#include "cscanthread.h"

#include "canswerbudget.h"
#include "ccommandframe.h"
#include "cdialogs.h"
#include "cmessages.h"
#include "cnewclientwriter.h"
#include "cshortframe.h"

#include <QElapsedTimer>
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

void CScanThread::run()
{
    m_deadline = QDeadlineTimer(DeadlineMs);
    m_socket = new QTcpSocket;
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

bool CScanThread::takeBudget(qint64 bytes)
{
    QElapsedTimer waited;
    waited.start();
    if (!CAnswerBudget::scan().acquire(bytes, [this] { return isInterruptionRequested(); }))
        return false;
    m_budgetHeld = bytes;
    // The turn of others is no fault of this agent's.
    if (!m_deadline.isForever())
        m_deadline = QDeadlineTimer(m_deadline.remainingTime() + waited.elapsed());
    return true;
}

bool CScanThread::readAnswer(QString *text)
{
    // The count decides how much we will hold: refuse an identity answer beyond
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
    if (!takeBudget(headBytes + count))
        return false;
    if (m_socket->skip(headBytes) != headBytes)
        return false;
    // Read straight into a buffer of the frame's size: no copy grows beside it.
    QByteArray body(count, Qt::Uninitialized);
    for (qint64 got = 0; got < count;) {
        if (m_socket->bytesAvailable() == 0 && !waitForBytes(1))
            return false;
        const qint64 n = m_socket->read(body.data() + got, count - got);
        if (n < 0)
            return false;
        got += n;
    }
    return CShortFrame::decodeBody(body, text);
}

void CScanThread::readInfo()
{
    if (!m_socket)
        return;
    QString text;
    const bool read = readAnswer(&text);
    m_socket->disconnectFromHost();
    if (!read || !handleAnswer(text))
        emit ScanFailed();
    text.clear();
    if (m_budgetHeld > 0) {
        CAnswerBudget::scan().release(m_budgetHeld);
        m_budgetHeld = 0;
    }
}

bool CScanThread::handleAnswer(const QString &text)
{
    // Only the identity part is read here: the rows are the inventory file's, read as it is filled.
    CMessages::IdentityAnswer identity;
    int fields = 0;
    // Fewer than three identity fields, or a UUID that is not one: no agent sends these.
    if (!CMessages::parseIdentity(text, &identity, &fields) || fields < 3 || !isValidUuid(identity.uuid))
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
    switch (CNewClientWriter::record(client, text)) {
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
