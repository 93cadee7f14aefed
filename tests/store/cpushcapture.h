#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

class QTcpSocket;
class CUpdateThread;

// The agent's side of an update push: collects every byte until the pusher has finished and closed
// the connection, then splits them into command frames with the agent's frame reader.
class CPushCapture
{
public:
    struct Frame
    {
        QStringList fields;
        qint32 total = 0;
        quint16 headerLength = 0;
        QByteArray payload;
    };

    // Reads from agent while thread runs (and until the peer closes); true when both ended in time.
    static bool collect(QTcpSocket *agent, CUpdateThread *thread, QByteArray *bytes, int timeoutMs = 60000);
    // Complete frames at the front of bytes; incomplete receives whether bytes were left over.
    static QList<Frame> frames(QByteArray bytes, bool *incomplete = nullptr);
};
