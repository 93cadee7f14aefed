#include "fortuneserver.h"

#include "cglobal.h"
#include "cmessages.h"
#include "cset.h"
#include "cshortframe.h"
#include "cswaplet.h"
#include "cwmiquery.h"
#include "cxmlwriter.h"
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
    m_push.abandon();
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

void FortuneServer::connectionEnded()
{
    // The last bytes may still wait in the socket's buffer when the peer's close is seen.
    if (m_push.isReceiving() && m_socket.bytesAvailable() > 0)
        readCommand();
    m_push.abandon();
}

void FortuneServer::handOver()
{
    m_handedOver = true;
    const QStringList arguments {m_push.finish()};
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
    const QString address = fields.value(1);
    if (!address.isEmpty() && CXmlWriter::validText(address).isEmpty()) {
        // Nothing of it could be stored: refused like a request without an address.
        m_socket.abort();
        return 0;
    }
    const QString uuid = set.getUUID();
    set.setServer(address);

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
