#pragma once

#include "ccommandframereader.h"
#include "cupdatefilewriter.h"

#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// The agent's command listener on the agent port: one connection at a time, one command per
// connection. "getUUID:<console address>" is answered with the identity and the live inventory, and
// the console's address becomes the server address in set.xml; "SWAPLETFILE:<name>:" with the file's
// bytes is stored as "<name>.temp" in the application directory, after which the agent stops
// listening, leaves its event loop and starts Swaplet on that file.
//
//   FortuneServer *server = new FortuneServer(nullptr);
//   server->listen(QHostAddress::Any, CMessages::AgentPort);
class FortuneServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit FortuneServer(QObject *parent);
    ~FortuneServer() override;

    int sendUUID(QStringList fields);
    void reset();
    QString getDir(QString path);

    static constexpr qint64 ReadBufferSize = qint64(1) << 20;

signals:
    void StopForUpdate();

public slots:
    void readCommand();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void connectionEnded();

private:
    void handOver();

    QTcpSocket m_socket;
    CCommandFrameReader m_reader; // total, header length, header and payload count of the frame
    CUpdateFileWriter m_push;
    bool m_handedOver = false;
};
