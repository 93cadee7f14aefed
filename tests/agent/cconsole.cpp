#include "cconsole.h"

#include "ccommandframe.h"
#include "cmessages.h"
#include "cshortframe.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

CConsole::Reply CConsole::exchange(const QList<QByteArray> &pieces, int timeoutMs)
{
    Reply r;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, CMessages::AgentPort);
    if (!socket.waitForConnected(10000))
        return r;
    r.connected = true;
    for (const QByteArray &piece : pieces) {
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.write(piece);
        socket.flush();
        socket.waitForBytesWritten(5000);
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (socket.state() == QAbstractSocket::UnconnectedState)
            break;
        socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000)));
        r.bytes += socket.readAll();
    }
    r.bytes += socket.readAll();
    r.closedByAgent = socket.state() == QAbstractSocket::UnconnectedState;
    return r;
}

QString CConsole::identity(const QString &header, Reply *reply)
{
    const Reply r = exchange(CCommandFrame::encodeCommand(header));
    if (reply)
        *reply = r;
    QString text;
    if (!CShortFrame::decode(r.bytes, &text))
        return QString();
    return text;
}

QList<QByteArray> CConsole::pieces(const QByteArray &bytes, int n)
{
    QList<QByteArray> out;
    for (qsizetype i = 0; i < bytes.size(); i += n)
        out.append(bytes.mid(i, n));
    return out;
}
