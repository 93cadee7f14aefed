#include "fortuneserver.h"

#include "cglobal.h"
#include "cmessages.h"
#include "cset.h"
#include "cshortframe.h"
#include "cswaplet.h"
#include "cwmiquery.h"
#include "qtservicebase.h"

#include <QCoreApplication>

#include <unistd.h>

namespace {

void log(const QString &text)
{
    if (QtServiceBase *service = QtServiceBase::instance())
        service->logMessage(text, QtServiceBase::Success, 0, 0);
}

} // namespace

FortuneServer::FortuneServer(QObject *parent)
    : QTcpServer(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &FortuneServer::readCommand);
    connect(&m_socket, &QTcpSocket::disconnected, this, &FortuneServer::connectionEnded);
}

FortuneServer::~FortuneServer()
{
    // The socket goes last and reports its end; nothing of this object may run by then.
    disconnect(&m_socket, nullptr, this, nullptr);
}

void FortuneServer::reset()
{
    m_reader.reset();
    m_updateMode = false;
}

QString FortuneServer::getDir(QString path)
{
    return CSet().getDir(path);
}

void FortuneServer::incomingConnection(qintptr socketDescriptor)
{
    if (m_handedOver) {
        ::close(int(socketDescriptor));
        return;
    }
    // The connection served so far ends here; a push it was receiving is incomplete.
    if (m_updateMode)
        abandonPush();
    reset();
    log(QStringLiteral("connect comeing the server!"));
    m_socket.blockSignals(true);
    m_socket.abort();
    m_socket.blockSignals(false);
    if (!m_socket.setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(int(socketDescriptor));
        return;
    }
    // Bytes that are never read (after an ignored command) stay with the peer instead of piling up here.
    m_socket.setReadBufferSize(ReadBufferSize);
}

void FortuneServer::readCommand()
{
    if (m_handedOver)
        return;
    if (!m_reader.isHeaderRead()) {
        const CCommandFrameReader::Status status = m_reader.readHeader(&m_socket);
        if (status == CCommandFrameReader::NeedMore)
            return;
        if (status == CCommandFrameReader::Error) {
            m_socket.abort();
            return;
        }
        const QStringList fields = m_reader.fields();
        const QString command = fields.value(0);
        if (command == QLatin1String("getUUID")) {
            if (!CMessages::parseIdentityRequest(fields, nullptr)) {
                m_socket.abort(); // no address to store
                return;
            }
            sendUUID(fields);
            m_socket.disconnectFromHost();
            return;
        }
        if (command != QLatin1String("SWAPLETFILE"))
            return; // ignored, and nothing more is read from this connection
        startPush(fields);
        if (!m_updateMode)
            return;
    }
    if (!m_updateMode)
        return;

    QByteArray chunk;
    const CCommandFrameReader::Status status = m_reader.readPayload(&m_socket, &chunk);
    if (status == CCommandFrameReader::Error || (!chunk.isEmpty() && m_file.write(chunk) != chunk.size())) {
        abandonPush();
        m_socket.abort();
        return;
    }
    if (status == CCommandFrameReader::Complete)
        handOver();
}

void FortuneServer::startPush(const QStringList &fields)
{
    QString name;
    const qint64 size = m_reader.payloadSize();
    if (!CMessages::parseFilePush(fields, &name) || size < 0 || size > MaxPayload) {
        m_socket.abort(); // a name that would leave the directory, or a payload that cannot be sized
        return;
    }
    m_tempPath = getDir(QCoreApplication::applicationFilePath()) + QLatin1Char('/') + name + QStringLiteral(".temp");
    m_file.setFileName(m_tempPath);
    // Unbuffered: the file grows as the payload arrives, and a failed write shows at once.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_socket.abort();
        return;
    }
    m_updateMode = true;
}

void FortuneServer::abandonPush()
{
    // A truncated update file must never reach Swaplet, which would put it in place of the client.
    m_file.close();
    m_file.remove();
    m_updateMode = false;
}

void FortuneServer::connectionEnded()
{
    // The last bytes may still wait in the socket's buffer when the peer's close is seen.
    if (m_updateMode && m_socket.bytesAvailable() > 0)
        readCommand();
    if (m_updateMode)
        abandonPush();
}

void FortuneServer::handOver()
{
    m_handedOver = true;
    m_updateMode = false;
    m_file.close();
    const QStringList arguments {m_tempPath};
    const QString dir = getDir(QCoreApplication::applicationFilePath());
    m_socket.disconnectFromHost();
    close();
    QCoreApplication::exit(0);
    CSwaplet::start(this, dir, arguments);
}

int FortuneServer::sendUUID(QStringList fields)
{
    CSet set;
    try {
        set.init();
    } catch (...) {
        // Without a readable set.xml there is no identity to give: the console gets no answer.
        log(QStringLiteral("identity request not answered: set.xml cannot be read"));
        m_socket.abort();
        return 0;
    }
    const QString uuid = set.getUUID();
    set.setServer(fields.value(1));

    QList<CMessages::ClassBlock> blocks;
    CGlobal table;
    table.init();
    CWmiQuery bridge;
    for (const auto &entry : table.m_classMap) {
        const QString key = QString::fromLatin1(entry.first.c_str());
        blocks.append(CMessages::ClassBlock {key, bridge.query(key)});
    }
    const QString text = CMessages::buildIdentityAnswer(
        uuid, CMessages::hostLabel(), CMessages::clientVersion(), CMessages::platformCode(), blocks);
    // A large inventory (the packages of a real machine) goes out in the extended form.
    CShortFrame::write(&m_socket, text);
    m_socket.disconnectFromHost();
    return 0;
}
