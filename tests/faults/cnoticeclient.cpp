#include "cnoticeclient.h"

#include "cmessages.h"
#include "cshortframe.h"

#include <QTimer>

CNoticeClient::CNoticeClient(const QString &uuid, const QStringList &rows, int batch, QObject *parent)
    : QObject(parent)
    , m_uuid(uuid)
    , m_rows(rows)
    , m_batch(batch)
{
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        QStringList items;
        for (qsizetype i = m_next; i < m_next + m_inFlight; ++i)
            items.append(CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("add"), m_rows.at(i)));
        CShortFrame::write(&m_socket, CMessages::buildChangeNotice(m_uuid, items));
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &CNoticeClient::readReply);
    connect(&m_socket, &QTcpSocket::disconnected, this, &CNoticeClient::ended);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            ended();
    });
}

void CNoticeClient::run()
{
    m_running = true;
    if (!busy())
        QTimer::singleShot(0, this, &CNoticeClient::sendNext);
}

void CNoticeClient::sendNext()
{
    if (!m_running || done() || busy())
        return;
    m_inFlight = int(qMin<qsizetype>(m_batch, m_rows.size() - m_next));
    m_acked = false;
    m_reader.reset();
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), CMessages::ServerPort);
}

void CNoticeClient::readReply()
{
    if (m_reader.readFrom(&m_socket) != CShortFrameReader::Complete)
        return;
    if (CMessages::isAck(m_reader.text()) && !m_acked) {
        m_acked = true;
        m_next += m_inFlight;
    }
    m_socket.disconnectFromHost();
}

void CNoticeClient::ended()
{
    if (m_inFlight == 0)
        return;
    if (!m_acked) {
        ++m_failed;
        for (qsizetype i = m_next; i < m_next + m_inFlight; ++i)
            m_unanswered.insert(m_rows.at(i));
    }
    m_inFlight = 0;
    // The agent sends again at its next occasion; here at once while running, after a short pause
    // when the server did not answer (so a dead server is not hammered).
    QTimer::singleShot(m_acked ? 0 : 50, this, &CNoticeClient::sendNext);
}
