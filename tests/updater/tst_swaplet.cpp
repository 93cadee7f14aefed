#include "ctestenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// Swaplet as a real process in a client directory of its own, with a short tick (test seam).
class TestSwaplet : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        int exitCode = -1;
        bool finished = false;
        QByteArray log;
    };

    // A client directory holding Swaplet, the service manager stand-in and a stub client program.
    QString makeClientDir(CTestEnvironment &env, const QString &name = QStringLiteral("client"))
    {
        const QString dir = env.filePath(name);
        QDir().mkpath(dir);
        QStringList staged {QStringLiteral("Swaplet")};
        if (QFileInfo::exists(CTestEnvironment::stagedFile(QStringLiteral("libadvapi32.so"))))
            staged << QStringLiteral("libadvapi32.so");
        if (!CTestEnvironment::copyStaged(staged, dir))
            return QString();
        return dir;
    }

    // A client program that records how it was started: working directory, arguments, its version.
    static QByteArray stubClient(const QByteArray &version, int delayMs = 0)
    {
        QByteArray script = "#!/bin/sh\n";
        if (delayMs > 0)
            script += "sleep " + QByteArray::number(delayMs / 1000.0) + "\n";
        script += "echo \"" + version + "|$(pwd)|$*\" >> \"$(dirname \"$0\")/client-runs.txt\"\n";
        return script;
    }

    static bool writeFile(const QString &path, const QByteArray &data, QFile::Permissions perms)
    {
        return CTestEnvironment::writeFile(path, data) && QFile::setPermissions(path, perms);
    }

    Run runSwaplet(const QString &dir, const QStringList &args, const QProcessEnvironment &extra = {})
    {
        Run run;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRAMIX_TEST_SWAPLET_TICK_MS"), QStringLiteral("50"));
        const QStringList keys = extra.keys();
        for (const QString &k : keys)
            env.insert(k, extra.value(k));
        p.setProcessEnvironment(env);
        p.setProgram(dir + QStringLiteral("/Swaplet"));
        p.setArguments(args);
        p.start();
        if (!p.waitForStarted(10000))
            return run;
        run.finished = p.waitForFinished(20000);
        if (!run.finished) {
            p.kill();
            p.waitForFinished(5000);
        }
        run.exitCode = p.exitCode();
        if (!p.readAllStandardOutput().isEmpty() || !p.readAllStandardError().isEmpty())
            run.exitCode = -100; // Swaplet prints nothing of its own
        run.log = CTestEnvironment::readFile(dir + QStringLiteral("/updateLog.log"));
        return run;
    }

    // The outcome lines of every entry of a log, each entry checked for its header.
    static QList<QByteArray> entries(const QByteArray &log)
    {
        static const QRegularExpression header(
            QStringLiteral("^\n(January|February|March|April|May|June|July|August|September|October|November|"
                           "December) \\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d \n"));
        QList<QByteArray> out;
        QString text = QString::fromLocal8Bit(log);
        while (!text.isEmpty()) {
            const QRegularExpressionMatch m = header.match(text);
            if (!m.hasMatch()) {
                out << QByteArray("BAD ENTRY: ") + text.toLocal8Bit();
                break;
            }
            text = text.mid(m.capturedLength());
            int next = text.indexOf(QLatin1String("\n\n"));
            while (next >= 0 && !header.match(text.mid(next + 1)).hasMatch())
                next = text.indexOf(QLatin1String("\n\n"), next + 1);
            const QString body = next < 0 ? text : text.left(next + 1);
            out << body.toLocal8Bit();
            text = next < 0 ? QString() : text.mid(next + 1);
        }
        return out;
    }

    static QList<QByteArray> clientRuns(const QString &dir)
    {
        QByteArray data = CTestEnvironment::readFile(dir + QStringLiteral("/client-runs.txt"));
        QList<QByteArray> lines = data.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private slots:
    void noArgument()
    {
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QVERIFY(writeFile(
            dir + "/BramixClient", stubClient("old"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const Run run = runSwaplet(dir, {});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(entries(run.log), QList<QByteArray> {"para not set\n"});
        QVERIFY(clientRuns(dir).isEmpty());
    }

    // The target is the argument cut at its last "."; the new file replaces the old one atomically,
    // keeps the old file's permission bits, and the client is started as a process with "-s" in its
    // directory when no client service is installed.
    void replaceAndFallBack_data()
    {
        QTest::addColumn<QString>("updateName");
        QTest::addColumn<QString>("targetName");
        QTest::newRow("temp ending") << "BramixClient.temp"
                                     << "BramixClient";
        QTest::newRow("only the last dot") << "BramixClient.exe.temp"
                                           << "BramixClient.exe";
        QTest::newRow("any ending") << "setup.zip"
                                    << "setup";
    }
    void replaceAndFallBack()
    {
        QFETCH(QString, updateName);
        QFETCH(QString, targetName);
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        const QFile::Permissions exec755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(writeFile(dir + "/BramixClient", stubClient("old"), exec755));
        if (targetName != QLatin1String("BramixClient"))
            QVERIFY(writeFile(dir + "/" + targetName, "old " + targetName.toLatin1(), exec755));
        // The pushed file arrives without execute bits; the old file's bits must win.
        const QByteArray newContent
            = targetName == QLatin1String("BramixClient") ? stubClient("new") : QByteArray("new content\n");
        QVERIFY(writeFile(dir + "/" + updateName, newContent, QFile::ReadOwner | QFile::WriteOwner));

        const Run run = runSwaplet(dir, {dir + "/" + updateName, QStringLiteral("ignored")});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(entries(run.log),
            QList<QByteArray> {"update file is:" + QFile::encodeName(dir + "/" + targetName)
                + "\nstart service Failed,start client as Process \n"});
        QVERIFY(!QFileInfo::exists(dir + "/" + updateName));
        QCOMPARE(CTestEnvironment::readFile(dir + "/" + targetName), newContent);
        QCOMPARE(QFileInfo(dir + "/" + targetName).permissions() & 0x7077, exec755 & 0x7077);

        // The fallback start ran the directory's BramixClient with "-s" in that directory.
        const QByteArray version = targetName == QLatin1String("BramixClient") ? "new" : "old";
        QVERIFY(CTestEnvironment::waitFor([&] { return !clientRuns(dir).isEmpty(); }));
        QCOMPARE(clientRuns(dir), QList<QByteArray> {version + "|" + QFile::encodeName(dir) + "|-s"});
    }

    // Arguments that cannot be renamed: "Rename failed", the program ends, nothing is touched and
    // the client is not started.
    void renameFails_data()
    {
        QTest::addColumn<QString>("argument"); // relative to the client directory, "" for empty
        QTest::addColumn<QString>("target"); // expected target text, relative
        QTest::addColumn<QStringList>("bystanders"); // files that must stay as they are
        QTest::newRow("empty argument") << QString() << QString() << QStringList {"BramixClient"};
        QTest::newRow("missing update file") << "BramixClient.temp"
                                             << "BramixClient" << QStringList {"BramixClient"};
        QTest::newRow("no dot in the file name") << "sub.d/BramixClient"
                                                 << "sub" << QStringList {"sub", "sub.d/BramixClient", "BramixClient"};
        QTest::newRow("target is a directory") << "folder.temp"
                                               << "folder" << QStringList {"folder.temp", "BramixClient"};
    }
    void renameFails()
    {
        QFETCH(QString, argument);
        QFETCH(QString, target);
        QFETCH(QStringList, bystanders);
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QDir().mkpath(dir + "/sub.d");
        QDir().mkpath(dir + "/folder");
        QVERIFY(writeFile(
            dir + "/BramixClient", stubClient("old"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(CTestEnvironment::writeFile(dir + "/sub", "bystander"));
        QVERIFY(CTestEnvironment::writeFile(dir + "/sub.d/BramixClient", "update without dot"));
        QVERIFY(CTestEnvironment::writeFile(dir + "/folder.temp", "update onto a directory"));
        QMap<QString, QByteArray> before;
        for (const QString &f : bystanders)
            before[f] = CTestEnvironment::readFile(dir + "/" + f);

        const QString arg = argument.isEmpty() ? QString() : dir + "/" + argument;
        const QString targetText = target.isEmpty() && argument.isEmpty() ? QString() : dir + "/" + target;
        const Run run = runSwaplet(dir, {arg});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(entries(run.log),
            QList<QByteArray> {"update file is:" + QFile::encodeName(targetText) + "\nRename failed\n"});
        for (const QString &f : bystanders) {
            QVERIFY2(QFileInfo(dir + "/" + f).isFile(), qPrintable(f));
            QCOMPARE(CTestEnvironment::readFile(dir + "/" + f), before[f]);
        }
        QVERIFY(QFileInfo(dir + "/folder").isDir());
        QVERIFY(clientRuns(dir).isEmpty());
    }

    // The started client must outlive Swaplet: it still runs after Swaplet has ended.
    void fallbackOutlivesSwaplet()
    {
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QVERIFY(writeFile(
            dir + "/BramixClient", stubClient("old"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(dir + "/BramixClient.temp", stubClient("slow", 1500), QFile::ReadOwner | QFile::WriteOwner));
        const Run run = runSwaplet(dir, {dir + "/BramixClient.temp"});
        QVERIFY(run.finished);
        QVERIFY(clientRuns(dir).isEmpty()); // still sleeping when Swaplet is gone
        QVERIFY(CTestEnvironment::waitFor([&] { return !clientRuns(dir).isEmpty(); }, 15000));
        QCOMPARE(clientRuns(dir), QList<QByteArray> {"slow|" + QFile::encodeName(dir) + "|-s"});
    }

    // A log that cannot be opened: each tick does nothing; once it can be opened the job runs.
    void retriesWhileLogCannotBeOpened()
    {
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QVERIFY(writeFile(
            dir + "/BramixClient", stubClient("old"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(dir + "/BramixClient.temp", stubClient("new"), QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QDir().mkpath(dir + "/updateLog.log")); // a directory: cannot be opened for appending

        QProcess p;
        QProcessEnvironment penv = QProcessEnvironment::systemEnvironment();
        penv.insert(QStringLiteral("BRAMIX_TEST_SWAPLET_TICK_MS"), QStringLiteral("50"));
        p.setProcessEnvironment(penv);
        p.start(dir + "/Swaplet", {dir + "/BramixClient.temp"});
        QVERIFY(p.waitForStarted(10000));
        // Many ticks pass without any effect.
        QVERIFY(!p.waitForFinished(1000));
        QVERIFY(QFileInfo::exists(dir + "/BramixClient.temp"));
        QCOMPARE(CTestEnvironment::readFile(dir + "/BramixClient"), stubClient("old"));

        QVERIFY(QDir().rmdir(dir + "/updateLog.log"));
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray log = CTestEnvironment::readFile(dir + "/updateLog.log");
        QCOMPARE(entries(log).size(), 1);
        QCOMPARE(CTestEnvironment::readFile(dir + "/BramixClient"), stubClient("new"));
    }

    // The service road: the new client is put in place and started by the service manager as the
    // service "Bramix Client Service"; while that service runs, a further start is refused and
    // Swaplet falls back to starting the program.
    void startsClientService()
    {
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QVERIFY2(QFileInfo::exists(dir + "/libadvapi32.so"), "service manager stand-in not staged");
        const QString stub = QCoreApplication::applicationDirPath() + "/swaplet_stubclient";
        const QByteArray program = CTestEnvironment::readFile(stub);
        QVERIFY(!program.isEmpty());
        const QFile::Permissions exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QVERIFY(writeFile(dir + "/BramixClient", program, exec));

        auto client = [&](const QStringList &args) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedChannels);
            p.start(dir + "/BramixClient", args);
            return p.waitForFinished(20000) ? p.exitCode() : -1000;
        };
        QCOMPARE(client({"-i"}), 0);

        // The new version differs from the old by its size: trailing bytes do not change a program.
        const QByteArray newProgram = program + QByteArray(4096, '\0');
        QVERIFY(writeFile(dir + "/BramixClient.temp", newProgram, QFile::ReadOwner | QFile::WriteOwner));
        Run run = runSwaplet(dir, {dir + "/BramixClient.temp"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        const QByteArray line = "update file is:" + QFile::encodeName(dir + "/BramixClient") + "\n";
        QCOMPARE(entries(run.log), QList<QByteArray> {line + "start service OK\n"});
        QVERIFY(CTestEnvironment::waitFor([&] { return !clientRuns(dir).isEmpty(); }, 20000));
        QCOMPARE(clientRuns(dir), QList<QByteArray> {"service|" + QByteArray::number(newProgram.size())});
        QVERIFY(QFileInfo(dir + "/BramixClient").permissions() & QFile::ExeOwner);

        // Running already: the service manager refuses, so the program is started with "-s".
        QVERIFY(writeFile(dir + "/BramixClient.temp", newProgram + "x", QFile::ReadOwner | QFile::WriteOwner));
        run = runSwaplet(dir, {dir + "/BramixClient.temp"});
        QVERIFY(run.finished);
        QCOMPARE(entries(run.log).size(), 2);
        QCOMPARE(entries(run.log).last(), line + "start service Failed,start client as Process \n");

        QCOMPARE(client({"-t"}), 0);
        QCOMPARE(client({"-u"}), 0);
    }

    // An exception after the rename: "Unknow exception", the job runs again at the next tick and
    // goes on with the file it already put in place instead of losing it.
    void exceptionAfterRenameKeepsNewFile()
    {
        CTestEnvironment env;
        const QString dir = makeClientDir(env);
        QVERIFY(!dir.isEmpty());
        QVERIFY(writeFile(
            dir + "/BramixClient", stubClient("old"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(dir + "/BramixClient.temp", stubClient("new"), QFile::ReadOwner | QFile::WriteOwner));
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("BRAMIX_TEST_SWAPLET_FAULT"), QStringLiteral("after-rename"));
        const Run run = runSwaplet(dir, {dir + "/BramixClient.temp"}, extra);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        const QByteArray line = "update file is:" + QFile::encodeName(dir + "/BramixClient") + "\n";
        QCOMPARE(entries(run.log),
            (QList<QByteArray> {
                line + "Unknow exception\n", line + "start service Failed,start client as Process \n"}));
        QCOMPARE(CTestEnvironment::readFile(dir + "/BramixClient"), stubClient("new"));
        QVERIFY(CTestEnvironment::waitFor([&] { return !clientRuns(dir).isEmpty(); }));
        QCOMPARE(clientRuns(dir), QList<QByteArray> {"new|" + QFile::encodeName(dir) + "|-s"});
    }
};

QTEST_GUILESS_MAIN(TestSwaplet)
#include "tst_swaplet.moc"
