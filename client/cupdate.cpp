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
        if (!m_push.start(fields, m_reader.payloadSize(), getDir(QCoreApplication::applicationFilePath()))) {
            m_socket.abort();
            return;
        }
    }
    if (!m_push.isReceiving())
        return;
    switch (m_push.receive(m_reader, &m_socket)) {
    case CUpdateFileWriter::Failed:
        m_socket.abort();
        break;
    case CUpdateFileWriter::Complete:
        handOver();
        break;
    case CUpdateFileWriter::Receiving:
        break;
    }
}

void CUpdate::connectionEnded()
{
    // The last bytes may still wait in the socket's buffer when the server's close is seen.
    if (m_push.isReceiving() && m_socket.bytesAvailable() > 0)
        readInfo();
    m_push.abandon();
}

void CUpdate::handOver()
{
    m_handedOver = true;
    const QStringList arguments {m_push.finish()};
    const QString dir = getDir(QCoreApplication::applicationFilePath());
    m_socket.disconnectFromHost();
    QCoreApplication::exit(0);
    CSwaplet::start(this, dir, arguments);
}
