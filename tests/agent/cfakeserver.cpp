#include "cfakeserver.h"

#include "cmessages.h"
#include "cshortframe.h"
#include "ctestenvironment.h"

#include <QTcpSocket>

CFakeServer::CFakeServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &CFakeServer::accept);
}

CFakeServer::~CFakeServer()
{
    qDeleteAll(m_connections);
}

bool CFakeServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, CMessages::ServerPort);
}

void CFakeServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        Connection *c = new Connection;
        c->socket = socket;
        socket->setParent(this);
        m_connections.append(c);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { read(c); });
        read(c);
    }
}

void CFakeServer::read(Connection *c)
{
    c->bytes += c->socket->readAll();
    for (;;) {
        QString text;
        qsizetype consumed = 0;
        if (!CShortFrame::decode(c->bytes.mid(c->parsed), &text, &consumed))
            return;
        c->frames.append(c->bytes.mid(c->parsed, consumed));
        c->parsed += consumed;
        c->texts.append(text);
        respond(c, text);
    }
}

void CFakeServer::respond(Connection *c, const QString &text)
{
    if (text.startsWith(QLatin1String("changelog:"))) {
        for (const QString &a : std::as_const(m_noticeAnswers))
            CShortFrame::write(c->socket, a);
    } else if (text.startsWith(QLatin1String("update:")) && !m_holdUpdate) {
        if (m_updatePieces.isEmpty()) {
            c->socket->disconnectFromHost();
            return;
        }
        for (const QByteArray &piece : std::as_const(m_updatePieces)) {
            c->socket->write(piece);
            c->socket->flush();
            c->socket->waitForBytesWritten(1000);
        }
    }
}

QStringList CFakeServer::texts() const
{
    QStringList all;
    for (const Connection *c : m_connections)
        all += c->texts;
    return all;
}

CFakeServer::Connection *CFakeServer::connectionWith(const QString &prefix)
{
    for (Connection *c : std::as_const(m_connections)) {
        for (const QString &t : std::as_const(c->texts)) {
            if (t.startsWith(prefix))
                return c;
        }
    }
    return nullptr;
}

bool CFakeServer::waitForText(const QString &prefix, int timeoutMs)
{
    return CTestEnvironment::waitFor([&] { return connectionWith(prefix) != nullptr; }, timeoutMs);
}

bool CFakeServer::answer(const QString &prefix, const QString &text)
{
    Connection *c = connectionWith(prefix);
    return c && CShortFrame::write(c->socket, text);
}
