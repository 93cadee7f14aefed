// The seed corpus and the recorded failing inputs of every protocol and store fuzz target, run
// through the targets' bodies; and the faults those inputs showed, tested directly.
#include "cfuzzentries.h"
#include "cfuzzhome.h"
#include "cpcconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QtTest>

namespace {

const QString kUuid = QStringLiteral("{6f1c2a34-0b5d-4e7f-8a9b-0c1d2e3f4a5b}");

QString appFile(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

} // namespace

class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void inputs_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        int rows = 0;
        for (const CFuzzEntries::Target &t : CFuzzEntries::targets()) {
            int seeds = 0;
            for (const char *root : {BRAMIX_FUZZ_CORPUS, BRAMIX_FUZZ_CASES}) {
                const QDir dir(QString::fromLocal8Bit(root) + QLatin1Char('/') + QLatin1String(t.name));
                for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                    QTest::addRow("%s/%s", t.name, qPrintable(name))
                        << QString::fromLatin1(t.name) << dir.filePath(name);
                    ++seeds;
                }
            }
            // A target without seeds would go unchecked in ordinary builds.
            if (seeds == 0)
                QTest::addRow("%s/(no seed)", t.name) << QString::fromLatin1(t.name) << QString();
            rows += seeds;
        }
        QVERIFY(rows > 0);
    }

    void inputs()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "target has no seed corpus");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const CFuzzEntries::Entry entry = CFuzzEntries::find(target);
        QVERIFY(entry);
        const QString failure = entry(f.readAll());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    // Rows of a change notice holding characters no XML file can hold (NUL, other control characters,
    // an unpaired surrogate) are stored without them; the file stays readable, and a removal naming
    // the row as the client sent it removes it.
    void rowsWithForbiddenCharacters_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("stored");
        QTest::newRow("nul") << QStringLiteral("Caption=Ed") + QChar(0) + QStringLiteral("itor\n")
                             << QStringLiteral("Caption=Editor\n");
        QTest::newRow("controls") << QStringLiteral("Caption=\x01\x02X\x0b\x1f\n") << QStringLiteral("Caption=X\n");
        QTest::newRow("unpaired surrogate")
            << QStringLiteral("Caption=A") + QChar(0xD800) + QStringLiteral("B\n") << QStringLiteral("Caption=AB\n");
        QTest::newRow("pair kept") << QStringLiteral("Caption=\U0001F600\t\r\n")
                                   << QStringLiteral("Caption=\U0001F600\t\r\n");
    }

    void rowsWithForbiddenCharacters()
    {
        QFETCH(QString, row);
        QFETCH(QString, stored);
        const QString file = appFile(kUuid + QStringLiteral(".xml"));
        writeAll(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig>\n    <Software/>\n</pcconfig>\n");
        writeAll(appFile(QStringLiteral("list.xml")), "<pclist/>\n");
        {
            CPcConfig pc(kUuid);
            QCOMPARE(pc.open(), 1);
            QCOMPARE(pc.applyChange(kUuid + QStringLiteral("^Software$add$") + row), 0);
        }
        QDomDocument doc;
        QVERIFY2(doc.setContent(readAll(file), true), "inventory file unreadable after the notice");
        {
            CPcConfig pc(kUuid);
            QCOMPARE(pc.openReadOnly(), 1);
            QStringList rows;
            QCOMPARE(pc.getContents(QStringLiteral("Software"), rows), 0);
            QCOMPARE(rows, QStringList {stored});
        }
        {
            CPcConfig pc(kUuid);
            QCOMPARE(pc.open(), 1);
            QCOMPARE(pc.applyChange(kUuid + QStringLiteral("^Software$remove$") + row), 0);
        }
        {
            CPcConfig pc(kUuid);
            QCOMPARE(pc.openReadOnly(), 1);
            QStringList rows;
            pc.getContents(QStringLiteral("Software"), rows);
            QVERIFY2(rows.isEmpty(), "removal with the row as sent left it stored");
            QMap<QString, QStringList> log;
            pc.getChangeLog(log);
            QCOMPARE(log.value(QStringLiteral("Software")).size(), 2);
        }
    }
};

int main(int argc, char **argv)
{
    // The store's files live beside the program: run from a scratch copy.
    CFuzzHome::enter(argv);
    QCoreApplication app(argc, argv);
    TestFuzzCorpus tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_fuzzcorpus.moc"
