#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// Plays the central server on the server port, 127.0.0.1:2210: records every short frame the agent
// sends, per connection, and answers as a test tells it: an answer text to a change notice, raw bytes
// (file pushes) to an update check.
class CFakeServer : public QObject
{
    Q_OBJECT

public:
    struct Connection
    {
        QTcpSocket *socket = nullptr;
        QByteArray bytes; // everything received
        QStringList texts; // the complete frames among them
        QList<QByteArray> frames; // their bytes
        qsizetype parsed = 0;
    };

    explicit CFakeServer(QObject *parent = nullptr);
    ~CFakeServer() override;

    bool listen();
    // Answer texts sent, each as one short frame, when a change notice arrives (none: no answer).
    void setNoticeAnswers(const QStringList &answers) { m_noticeAnswers = answers; }
    // Raw bytes written, piece by piece, when an update check arrives (none: the connection is closed).
    void setUpdateAnswer(const QList<QByteArray> &pieces) { m_updatePieces = pieces; }
    // Leaves an update check unanswered and open, for the test to answer through its socket.
    void setHoldUpdate(bool hold) { m_holdUpdate = hold; }

    int connectionCount() const { return m_connections.size(); }
    QStringList texts() const;
    // The first connection that sent a frame whose text starts with prefix; null when none.
    Connection *connectionWith(const QString &prefix);
    bool waitForText(const QString &prefix, int timeoutMs = 60000);
    // Sends text as one short frame on the connection that sent prefix.
    bool answer(const QString &prefix, const QString &text);

private:
    void accept();
    void read(Connection *c);
    void respond(Connection *c, const QString &text);

    QTcpServer m_server;
    QList<Connection *> m_connections;
    QStringList m_noticeAnswers;
    QList<QByteArray> m_updatePieces;
    bool m_holdUpdate = false;
};
