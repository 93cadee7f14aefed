#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QThread>

class CScanAnswer;
class QTcpSocket;
class QWidget;

// One probe of the network scan: connects to one host's agent port, asks for
// the identity and inventory, and reports once: foundPC with the host label,
// UUID and platform code of a client new to list.xml (which it has listed and
// given its inventory file), foundPC("", "", "0") for a client already listed,
// ScanFailed for anything else.
//
// The probe frees its socket in its own thread and deletes itself once
// finished. Every wait runs in slices of at most 100 ms, so
// requestInterruption() followed by wait() ends it promptly.
//
// A probe waits on its peer alone: the answer is kept as it arrives
// (CScanAnswer), the socket holds at most ReadBufferBytes (the rest stays
// with the kernel), and the connection is closed as soon as the answer is in,
// before the client is listed and its file filled (CNewClientWriter), which
// is no part of the deadline.
class CScanThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int ConnectMs = 1000;
    static constexpr int ReadMs = 30000; // longest wait for more of the answer (see setReadWait)
    static constexpr int DeadlineMs = 120000; // longest a probe may wait for its answer in all (see setDeadline)
    static constexpr qint64 MaxAnswerBytes = 16 * 1024 * 1024;
    static constexpr qint64 ReadBufferBytes = 64 * 1024;
    // Hundreds of probes run at once: with the default stacks (8 MiB each) they reserved gigabytes of
    // address space, and threads could no longer be made.
    static constexpr uint StackBytes = 1024 * 1024;

    CScanThread(QObject *parent, QWidget *widget, QString strIP, QString strLocalIP);
    ~CScanThread() override;

    // A UUID as the agents make it: 8-4-4-4-12 hex digits in braces. Anything
    // else from the wire could name files we must not create.
    static bool isValidUuid(const QString &uuid);

    // The longest wait for more of the answer, ReadMs unless set otherwise.
    static void setReadWait(int ms);
    // The longest a probe waits for its answer in all, DeadlineMs unless set otherwise.
    static void setDeadline(int ms);

signals:
    void foundPC(QString strName, QString strUUID, QString flag);
    void ScanFailed();

public slots:
    void readInfo();
    void sendCommand();

protected:
    void run() override;

private:
    bool connectToAgent();
    // Waits until n bytes can be read; false on a wait of ReadMs without data, a
    // closed connection, the probe's deadline or interruption.
    bool waitForBytes(qint64 n);
    bool readAnswer(CScanAnswer *answer);
    bool handleAnswer(const CScanAnswer &answer);
    void warn(const QString &title, const QString &text);

    QWidget *m_widget;
    QString m_strIP;
    QString m_strLocalIP;
    QTcpSocket *m_socket;
    QDeadlineTimer m_deadline; // the end of the network part at the latest, set by run()
};
