#include "ctestport.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

bool CTestPort::isOpen(quint16 port, int connectMs)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool open = probe.waitForConnected(connectMs);
    probe.abort();
    return open;
}

bool CTestPort::waitForOpen(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (isOpen(port, 500))
            return true;
        QThread::msleep(20);
    }
    return false;
}
