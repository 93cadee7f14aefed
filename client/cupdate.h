#pragma once

#include "ccommandframereader.h"
#include "cupdatefilewriter.h"

#include <QObject>
#include <QString>
#include <QTcpSocket>

// The update check of a service start: connects to the server address of set.xml on the server port
// and, once connected, sends "update:<version>:<platform>:<host label>". The server either closes the
// connection or pushes the update files on it; the first pushed file becomes "<name>.temp" in the
// application directory and is handed to Swaplet, which ends the agent.
//
//   CUpdate *update = new CUpdate;
//   update->checkUpdate();   // throws CSet::init's texts when set.xml cannot be read
class CUpdate : public QObject
{
    Q_OBJECT

public:
    CUpdate();
    ~CUpdate() override;

    int checkUpdate();
    QString getDir(QString path);

private slots:
    void sendCommand();
    void readInfo();
    void connectionEnded();

private:
    void handOver();

    QTcpSocket m_socket;
    CCommandFrameReader m_reader; // total, header length, header and payload count of the frame
    CUpdateFileWriter m_push;
    bool m_handedOver = false;
};
