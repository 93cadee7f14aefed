#include "cfakeagent.h"

#include "ccommandframe.h"
#include "ccommandframereader.h"
#include "cmessages.h"
#include "cshortframe.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutexLocker>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// What one connection has sent so far.
struct Connection
{
    QByteArray raw; // the first bytes as they came, for identity requests
    QByteArray buffer; // not yet taken by the frame reader
    CCommandFrameReader reader;
    bool identity = false;
    CFakeAgent::Push push;
};

const int kRawKept = 64 * 1024;

} // namespace

// Connections by socket; the sockets are children of the server, so this lives beside them.
static QHash<const QTcpSocket *, Connection> &connections()
{
    thread_local QHash<const QTcpSocket *, Connection> all;
    return all;
}

CFakeAgent::CFakeAgent(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &CFakeAgent::accept);
}

CFakeAgent::~CFakeAgent()
{
    const QList<QTcpSocket *> sockets = m_server->findChildren<QTcpSocket *>();
    for (QTcpSocket *s : sockets)
        connections().remove(s);
}

bool CFakeAgent::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port))
        return false;
    const QString label = m_config.address.isEmpty() ? address.toString() : m_config.address;
    if (!m_config.answer.isEmpty())
        m_answer = m_config.answer;
    else if (m_config.mode == WrongPrefix)
        m_answer = QStringLiteral("HELLO:") + m_config.uuid + QLatin1Char('|') + m_config.name + QLatin1Char('(')
            + label + QStringLiteral(")|") + m_config.versionPart;
    else
        m_answer = identityAnswer(m_config, label, m_config.mode == Extended);
    return true;
}

QHostAddress CFakeAgent::address() const
{
    return m_server->serverAddress();
}

QString CFakeAgent::answerText() const
{
    return m_answer;
}

QString CFakeAgent::identityAnswer(const Config &config, const QString &address, bool extended)
{
    QList<CMessages::ClassBlock> classes;
    classes.append({QStringLiteral("CPU"), {QStringLiteral("Name=Fake CPU 3.0GHz\nManufacturer=GenuineFake\n")}});
    classes.append({QStringLiteral("MemoryDevice"), {QStringLiteral("Capacity=1073741824\nTag=Bank 0\n")}});
    classes.append({QStringLiteral("OS"), {QStringLiteral("Caption=Fake OS 7\nVersion=7.1\n")}});
    if (extended) {
        QStringList software;
        for (int i = 0; i < 600; ++i)
            software.append(QStringLiteral("Caption=Fake package number %1 with a long descriptive name\nVendor=Fake "
                                           "Software Works\n")
                                .arg(i));
        classes.append({QStringLiteral("Software"), software});
    }
    const QString label = config.name + QLatin1Char('(') + address + QLatin1Char(')');
    QString text
        = QStringLiteral("UUID:") + config.uuid + QLatin1Char('|') + label + QLatin1Char('|') + config.versionPart;
    for (const CMessages::ClassBlock &block : std::as_const(classes))
        text += CMessages::classBlock(block.classKey, block.rows);
    return text;
}

int CFakeAgent::connectionCount() const
{
    QMutexLocker locker(&m_lock);
    return m_connections;
}

int CFakeAgent::identityRequests() const
{
    QMutexLocker locker(&m_lock);
    return m_identityRequests;
}

QList<QByteArray> CFakeAgent::requestBytes() const
{
    QMutexLocker locker(&m_lock);
    return m_requests;
}

QList<CFakeAgent::Push> CFakeAgent::pushes() const
{
    QMutexLocker locker(&m_lock);
    return m_pushes;
}

int CFakeAgent::pushCount() const
{
    QMutexLocker locker(&m_lock);
    return m_pushes.size();
}

void CFakeAgent::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        {
            QMutexLocker locker(&m_lock);
            ++m_connections;
        }
        if (m_config.oneConnection) {
            const QList<QTcpSocket *> served = m_server->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
            for (QTcpSocket *other : served) {
                if (other != socket && connections().contains(other))
                    other->abort();
            }
        }
        connections().insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            const Connection c = connections().take(socket);
            if (c.identity) {
                QMutexLocker locker(&m_lock);
                m_requests.append(c.raw);
            }
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void CFakeAgent::readFrom(QTcpSocket *socket)
{
    auto it = connections().find(socket);
    if (it == connections().end())
        return;
    Connection &c = *it;
    const QByteArray bytes = socket->readAll();
    if (c.raw.size() < kRawKept)
        c.raw.append(bytes.left(kRawKept - c.raw.size()));
    if (c.identity)
        return; // the agent reads nothing after an identity request
    c.buffer.append(bytes);
    for (;;) {
        if (!c.reader.isHeaderRead()) {
            const CCommandFrameReader::Status status = c.reader.readHeader(c.buffer);
            if (status == CCommandFrameReader::NeedMore)
                return;
            if (status == CCommandFrameReader::Error) {
                socket->abort();
                return;
            }
            const QStringList fields = c.reader.fields();
            if (fields.value(0) == QLatin1String("getUUID")) {
                c.identity = true;
                {
                    QMutexLocker locker(&m_lock);
                    ++m_identityRequests;
                }
                answer(socket);
                return;
            }
            c.push = Push();
            c.push.fields = fields;
            c.push.total = c.reader.total();
        }
        QByteArray chunk;
        const CCommandFrameReader::Status status = c.reader.readPayload(c.buffer, &chunk);
        if (status == CCommandFrameReader::Error) {
            socket->abort();
            return;
        }
        c.push.size += chunk.size();
        if (m_config.keepPayloads)
            c.push.payload.append(chunk);
        if (status == CCommandFrameReader::NeedMore)
            return;
        {
            QMutexLocker locker(&m_lock);
            m_pushes.append(c.push);
        }
        c.push = Push();
        c.reader.reset();
    }
}

void CFakeAgent::answer(QTcpSocket *socket)
{
    const QByteArray frame = CShortFrame::encode(m_answer);
    switch (m_config.mode) {
    case Short:
    case Extended:
    case WrongPrefix:
        socket->write(frame);
        socket->disconnectFromHost();
        break;
    case Delay: {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(m_config.delayMs, this, [guarded, frame] {
            if (!guarded)
                return;
            guarded->write(frame);
            guarded->disconnectFromHost();
        });
        break;
    }
    case Drip:
        drip(socket, frame);
        break;
    case Close:
        socket->disconnectFromHost();
        break;
    case Silent:
        break;
    case Oversize: {
        QByteArray head(6, '\0');
        qToBigEndian(quint16(CShortFrame::ExtendedMark), head.data());
        qToBigEndian(quint32(16 * 1024 * 1024 + 16), head.data() + 2);
        socket->write(head);
        break;
    }
    }
}

void CFakeAgent::drip(QTcpSocket *socket, QByteArray bytes)
{
    auto *timer = new QTimer(socket);
    const qint64 atOnce = qBound<qint64>(0, m_config.sendAtOnce, bytes.size());
    if (atOnce > 0)
        socket->write(bytes.constData(), atOnce);
    auto sent = std::make_shared<qint64>(atOnce);
    connect(timer, &QTimer::timeout, socket, [socket, timer, bytes, sent] {
        if (*sent >= bytes.size() || socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(bytes.constData() + *sent, 1);
        ++*sent;
    });
    timer->start(m_config.dripMs);
}

void CFakeAgent::serveUntilInputCloses(int count)
{
    std::printf("listening %d\n", count);
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, qApp, [] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QCoreApplication::quit();
    });
    QCoreApplication::exec();
}
