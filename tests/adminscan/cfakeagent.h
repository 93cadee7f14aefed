#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A client agent on the agent port as the console sees it, built on the protocol module: it answers
// the identity request in one of several ways and records everything it receives (identity requests
// byte for byte, file pushes frame by frame). It lives in the thread that created it (or was moved
// to); the recorded results may be read from any thread.
class CFakeAgent : public QObject
{
    Q_OBJECT
public:
    enum Mode {
        Short, // the answer in one short frame, then the agent disconnects
        Extended, // a long answer (many Software rows), which takes the extended short frame
        WrongPrefix, // an answer whose first field is not "UUID" (another service on the port)
        Drip, // the answer one byte every dripMs (after the first sendAtOnce bytes, sent at once)
        Close, // the connection closed as soon as the request is in, no answer
        Delay, // the answer after delayMs
        Silent, // never answers, keeps the connection open
        Oversize // announces an extended frame larger than any identity answer may be, sends no more
    };

    struct Config
    {
        Mode mode = Short;
        QString uuid = QStringLiteral("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}");
        QString name = QStringLiteral("PC7");
        QString address; // the address in the host label; the listening address when empty
        QString versionPart = QStringLiteral("2.1.20090713-1");
        QString answer; // the whole answer text instead of the built one
        int delayMs = 0;
        int dripMs = 0;
        qint64 sendAtOnce = 0; // Drip: bytes of the frame sent at once, before the drip
        bool keepPayloads = true; // false: pushes record their size only
        // As the real agent: a new connection drops the one being served (a push or an answer cut short).
        bool oneConnection = false;
    };

    struct Push
    {
        QStringList fields;
        qint32 total = 0;
        qint64 size = 0;
        QByteArray payload;
    };

    explicit CFakeAgent(const Config &config, QObject *parent = nullptr);
    ~CFakeAgent() override;

    bool listen(const QHostAddress &address, quint16 port = 2211);
    QHostAddress address() const;

    // The text the agent answers with.
    QString answerText() const;
    // The identity answer text of an agent with these settings.
    static QString identityAnswer(const Config &config, const QString &address, bool extended);
    // For agents in a process of their own: says "listening <count>" on standard output, then runs the
    // event loop until standard input closes (the parent ends them so).
    static void serveUntilInputCloses(int count);

    int connectionCount() const;
    int identityRequests() const;
    // All bytes received on each finished identity connection, in arrival order of the connections.
    QList<QByteArray> requestBytes() const;
    QList<Push> pushes() const;
    int pushCount() const;

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket);
    void drip(QTcpSocket *socket, QByteArray bytes);

    Config m_config;
    QTcpServer *m_server;
    QString m_answer;

    mutable QMutex m_lock;
    int m_connections = 0;
    int m_identityRequests = 0;
    QList<QByteArray> m_requests;
    QList<Push> m_pushes;
};
