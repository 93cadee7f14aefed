#pragma once

#include "cshortframereader.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// One client agent's change notices, as the agent sends them: every record stays until a notice
// holding it is acknowledged with "setChange:ok"; a notice that gets no acknowledgement (the server
// died, the connection broke) leaves its records to be sent again. Each notice carries at most
// batch records, on a connection of its own to 127.0.0.1:2210.
class CNoticeClient : public QObject
{
    Q_OBJECT
public:
    CNoticeClient(const QString &uuid, const QStringList &rows, int batch, QObject *parent = nullptr);

    // Sends notices one after the other while running; stop() lets the notice in flight finish.
    void run();
    void stop() { m_running = false; }
    bool busy() const { return m_socket.state() != QAbstractSocket::UnconnectedState; }
    bool done() const { return m_next >= m_rows.size(); }
    int acknowledged() const { return int(m_next); }
    int failedNotices() const { return m_failed; }
    QString uuid() const { return m_uuid; }
    QStringList rows() const { return m_rows; }
    // Rows that were in a notice that got no answer: the server may have stored them before it died.
    QSet<QString> unanswered() const { return m_unanswered; }

private slots:
    void sendNext();
    void readReply();
    void ended();

private:
    QString m_uuid;
    QStringList m_rows;
    int m_batch;
    qsizetype m_next = 0;
    int m_inFlight = 0;
    bool m_running = false;
    bool m_acked = false;
    int m_failed = 0;
    QSet<QString> m_unanswered;
    QTcpSocket m_socket;
    CShortFrameReader m_reader;
};
