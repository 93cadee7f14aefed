#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Plays the administrator console on the agent port, 127.0.0.1:2211, with blocking sockets.
class CConsole
{
public:
    struct Reply
    {
        bool connected = false;
        bool closedByAgent = false; // the agent ended the connection within the wait
        QByteArray bytes; // everything the agent sent
    };

    // Sends the pieces one after the other (each flushed) and reads until the agent closes the
    // connection or timeoutMs pass without it.
    static Reply exchange(const QList<QByteArray> &pieces, int timeoutMs = 60000);
    static Reply exchange(const QByteArray &bytes, int timeoutMs = 60000)
    {
        return exchange(QList<QByteArray> {bytes}, timeoutMs);
    }

    // An identity request with the header "getUUID:<address>" (or header as given), answer decoded.
    static QString identity(const QString &header, Reply *reply = nullptr);

    // bytes cut into pieces of size n.
    static QList<QByteArray> pieces(const QByteArray &bytes, int n);
};
