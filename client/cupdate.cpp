#include "cupdate.h"

#include "cmessages.h"
#include "cset.h"
#include "cshortframe.h"
#include "cswaplet.h"

#include <QCoreApplication>

CUpdate::CUpdate()
    : QObject(nullptr)
{ }

CUpdate::~CUpdate()
{
    // The socket goes last and reports its end; nothing of this object may run by then.
    disconnect(&m_socket, nullptr, this, nullptr);
}

QString CUpdate::getDir(QString path)
{
    return CSet().getDir(path);
}

int CUpdate::checkUpdate()
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &CUpdate::readInfo, Qt::UniqueConnection);
    connect(&m_socket, &QTcpSocket::connected, this, &CUpdate::sendCommand, Qt::UniqueConnection);
    connect(&m_socket, &QTcpSocket::disconnected, this, &CUpdate::connectionEnded, Qt::UniqueConnection);
    QString server;
    {
        CSet set;
        set.init();
        server = set.getServer();
    }
    if (server.isEmpty())
        return 0; // no server known yet: nothing to ask
    // Bytes that are never read (after an ignored frame) stay with the server instead of piling up here.
    m_socket.setReadBufferSize(qint64(1) << 20);
    m_socket.connectToHost(server, CMessages::ServerPort, QIODevice::ReadWrite);
    return 0;
}

void CUpdate::sendCommand()
{
    CShortFrame::write(&m_socket,
        CMessages::buildUpdateCheck(CMessages::clientVersion(), CMessages::platformCode(), CMessages::hostLabel()));
}

void CUpdate::readInfo()
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
        if (fields.value(0) != QLatin1String("SWAPLETFILE"))
            return; // ignored, "getUUID" too, and nothing more is read from this connection
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

void CUpdate::startPush(const QStringList &fields)
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

void CUpdate::abandonPush()
{
    // A truncated update file must never reach Swaplet, which would put it in place of the client.
    m_file.close();
    m_file.remove();
    m_updateMode = false;
}

void CUpdate::connectionEnded()
{
    // The last bytes may still wait in the socket's buffer when the server's close is seen.
    if (m_updateMode && m_socket.bytesAvailable() > 0)
        readInfo();
    if (m_updateMode)
        abandonPush();
}

void CUpdate::handOver()
{
    m_handedOver = true;
    m_updateMode = false;
    m_file.close();
    const QStringList arguments {m_tempPath};
    const QString dir = getDir(QCoreApplication::applicationFilePath());
    m_socket.disconnectFromHost();
    QCoreApplication::exit(0);
    CSwaplet::start(this, dir, arguments);
}
