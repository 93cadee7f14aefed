#pragma once

#include <QCoreApplication>
#include <QString>

class QTextStream;

// Swaplet's application object: every tick of its one timer runs the whole job, which puts the
// received client file in place of the old one and starts the client again.
class MyApp : public QCoreApplication
{
    Q_OBJECT

public:
    MyApp(int &argc, char **argv);
    ~MyApp() override;

    void setArguments(int argc, const QString &para);

    // Directory of the running program's file: the client's directory, home of the log.
    static QString applicationDirectory();

    // Target of an update file: its path without the last "." and what follows it. Empty when the
    // file name itself has no "." (the cut would fall in a directory name or keep the whole path).
    static QString targetPath(const QString &updateFile);

    // Tick length: 5000 ms. Tests shorten it through BRAMIX_TEST_SWAPLET_TICK_MS; nothing else
    // reads that variable.
    static int tickInterval();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void runJob(QTextStream &log);
    bool putInPlace(const QString &target);
    void startClient(QTextStream &log);

    int argc;
    QString para;
    // Set once the update file has been renamed into place, so that a job repeated after an
    // exception never touches the file it already put there.
    QString m_placed;
    // Test seam (BRAMIX_TEST_SWAPLET_FAULT=after-rename): the first job throws after its rename.
    bool m_faultAfterRename;
};
