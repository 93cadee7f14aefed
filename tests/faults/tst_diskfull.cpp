// Store saves on a full disk: a small memory file system, mounted in a mount namespace of the
// helper's own, holds the store's files; the helper fills it and runs one save. The save must report
// failure and leave the file exactly as it was (never truncated, no temporary file left behind),
// and go through once space is freed.
#include "ctestenvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace {

// The unshare options that give this process a mount namespace it may mount in: as root a mount
// namespace alone, otherwise a user namespace too. Empty when neither works here.
QStringList namespaceOptions(QString *why)
{
    const QList<QStringList> candidates = ::geteuid() == 0
        ? QList<QStringList> {{QStringLiteral("-m")}, {QStringLiteral("-r"), QStringLiteral("-m")}}
        : QList<QStringList> {{QStringLiteral("-r"), QStringLiteral("-m")}};
    for (const QStringList &options : candidates) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QTemporaryDir dir;
        p.start(QStringLiteral("unshare"),
            options
                + QStringList {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("mount -t tmpfs -o size=64k bramixprobe \"$1\""), QStringLiteral("sh"), dir.path()});
        if (!p.waitForStarted(5000)) {
            *why = QStringLiteral("unshare(1) not found");
            continue;
        }
        p.waitForFinished(10000);
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return options;
        *why = QString::fromLocal8Bit(p.readAll()).trimmed();
    }
    return {};
}

QMap<QString, QString> parseResult(const QByteArray &output)
{
    QMap<QString, QString> values;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        for (const QByteArray &pair : line.mid(7).split(' ')) {
            const int eq = pair.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromLatin1(pair.left(eq)), QString::fromLatin1(pair.mid(eq + 1)));
        }
    }
    return values;
}

} // namespace

class TestDiskFull : public QObject
{
    Q_OBJECT

private:
    QStringList m_options;
    QString m_why;

private slots:
    void initTestCase() { m_options = namespaceOptions(&m_why); }

    void saveOnFullDisk_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("room");
        for (const char *op : {"notice", "template", "addpc", "updatelog", "uplist"}) {
            for (const char *room : {"none", "page"})
                QTest::addRow("%s, room %s", op, room) << QString::fromLatin1(op) << QString::fromLatin1(room);
        }
    }

    void saveOnFullDisk()
    {
        QFETCH(QString, operation);
        QFETCH(QString, room);
        if (m_options.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no full disk to test on: cannot mount a small tmpfs in a mount "
                                            "namespace of our own (%1)")
                                 .arg(m_why)));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/faults_diskhelper");
        QVERIFY(QFile::exists(helper));
        // Room for the helper itself (a sanitizer build's is twice a plain one's) and 8 MiB for it to fill.
        const qint64 sizeMiB = QFileInfo(helper).size() / (1024 * 1024) + 9;
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral("unshare"),
            m_options
                + QStringList {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("mount -t tmpfs -o size=%1m bramixfull \"$1\" && cp \"$2\" \"$1/\" && exec "
                                   "\"$1/faults_diskhelper\" \"$3\" \"$4\"")
                        .arg(sizeMiB),
                    QStringLiteral("sh"), dir.path(), helper, operation, room});
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(p.waitForFinished(120000));
        const QByteArray output = p.readAllStandardOutput();
        QCOMPARE(p.exitCode(), 0);
        const QMap<QString, QString> r = parseResult(output);
        QVERIFY2(r.contains(QStringLiteral("rc")), output.constData());

        QVERIFY2(r.value(QStringLiteral("rc")) != QLatin1String("0"), "save on a full disk reported success");
        QVERIFY2(r.value(QStringLiteral("unchanged")) == QLatin1String("1"), "file changed by a failed save");
        QVERIFY2(r.value(QStringLiteral("parses")) == QLatin1String("1"), "file unreadable after a failed save");
        QVERIFY2(r.value(QStringLiteral("stray")) == QLatin1String("-"),
            qPrintable(QStringLiteral("left behind: ") + r.value(QStringLiteral("stray"))));
        QCOMPARE(r.value(QStringLiteral("rcfreed")), QStringLiteral("0"));
        QCOMPARE(r.value(QStringLiteral("changed")), QStringLiteral("1"));
        QCOMPARE(r.value(QStringLiteral("freedparses")), QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(TestDiskFull)
#include "tst_diskfull.moc"
