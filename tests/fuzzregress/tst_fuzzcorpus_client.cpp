// The seed corpus of the set.xml fuzz target, run through its body in the ordinary build.
#include "cfuzzcliententries.h"
#include "cfuzzhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

class TestFuzzCorpusClient : public QObject
{
    Q_OBJECT

private slots:
    void inputs_data()
    {
        QTest::addColumn<QString>("path");
        int rows = 0;
        for (const char *root : {BRAMIX_FUZZ_CORPUS, BRAMIX_FUZZ_CASES}) {
            const QDir dir(QString::fromLocal8Bit(root) + QStringLiteral("/setxml"));
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                QTest::addRow("setxml/%s", qPrintable(name)) << dir.filePath(name);
                ++rows;
            }
        }
        QVERIFY(rows > 0);
    }

    void inputs()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString failure = CFuzzClientEntries::setXml(f.readAll());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

int main(int argc, char **argv)
{
    // The agent's settings file lives beside the program: run from a scratch copy.
    CFuzzHome::enter(argv);
    QCoreApplication app(argc, argv);
    TestFuzzCorpusClient tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_fuzzcorpus_client.moc"
