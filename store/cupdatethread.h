#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThread>

class QTcpSocket;

// Pushes update files to one client agent: one file push ("SWAPLETFILE:<name>:" and the file's
// bytes, streamed in 8192-byte pieces) per file, in list order, then updateOK. Without a socket it
// connects to strIP on the agent port itself (30000 ms at most).
//
// Failure (no connection, a file that cannot be opened or read whole, a file name the agent cannot
// receive as it is, a connection lost while sending, a peer that takes no byte for 30 s, or
// interruption) ends the push at that file and emits updateConnectFailed instead: the agent never
// gets a frame that announces bytes we do not send. A push that has written nothing, or is still
// connecting, after a tenth of that deadline emits updateStalled once, so that a caller limiting its pushes can start
// another beside it instead of waiting for the deadline. Every wait runs in slices of about 100 ms, so
// requestInterruption() followed by wait() ends the thread promptly.
//
// A given socket stays the creator's: the thread never deletes it, it only disconnects it at the end
// (or aborts it after a failure that left bytes the peer did not take). When it has no parent, the
// constructor moves it to this thread and run() hands it back to the creating thread when it ends.
// A socket that run() makes is deleted before run() returns.
class CUpdateThread : public QThread
{
    Q_OBJECT
public:
    explicit CUpdateThread(QObject *parent);
    CUpdateThread(QObject *parent, QTcpSocket *socket, const QStringList &files, const QString &strIP);
    ~CUpdateThread() override;

    // Whether a file push can carry the name of this path, so the agent receives it as it is.
    static bool canPush(const QString &path);

signals:
    int updateConnectFailed(QString strIP);
    void updateOK(QString strIP);
    void updateStalled(QString strIP);

protected:
    void run() override;

private slots:
    void readInfo();
    void sendCommand();
    void sendFile(QString strFile);
    QString getFileName(QString strPath);

private:
    bool connectToAgent();
    bool pushFile(const QString &path);
    bool waitWritten();
    bool pushAll();

    QString strIP;
    QTcpSocket *m_socket;
    QStringList m_files;
    QThread *m_socketHome;
    bool m_failed;
    // No byte leaving for this long ends the push (BRAMIX_TEST_PUSH_STALL_MS for tests, read when
    // the thread is made; nothing else reads it).
    int m_stallMs;
    bool m_stallTold;
    QElapsedTimer m_sinceProgress;
};
