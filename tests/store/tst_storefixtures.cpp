#include "cstorefixturesteps.h"
#include "cstoretestrun.h"

#include <QCoreApplication>
#include <QFile>
#include <QtTest>

namespace {

QByteArray fixture(const QString &name, int step)
{
    QFile file(QStringLiteral(BRAMIX_STORE_FIXTURES "/%1/step-%2.xml").arg(name).arg(step, 2, 10, QLatin1Char('0')));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Every scripted change, replayed on the file as it was before it, writes the very bytes today's
// writers wrote (time stamps aside).
class TestStoreFixtures : public QObject
{
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<int>("caseIndex");
        QTest::addColumn<int>("step");
        const QList<CStoreFixtureSteps::Case> cases = CStoreFixtureSteps::cases();
        for (int c = 0; c < cases.size(); ++c) {
            for (int n = 0; n < cases.at(c).steps.size(); ++n) {
                QTest::addRow("%s %d %s", qPrintable(cases.at(c).name), n, qPrintable(cases.at(c).steps.at(n).what))
                    << c << n;
            }
        }
    }
    void replay()
    {
        QFETCH(int, caseIndex);
        QFETCH(int, step);
        const CStoreFixtureSteps::Case c = CStoreFixtureSteps::cases().at(caseIndex);
        CStoreFixtureSteps::Case before = c;
        if (step > 0)
            before.start = fixture(c.name, step - 1);
        QVERIFY(step == 0 || !before.start.isEmpty());
        QVERIFY(CStoreFixtureSteps::install(before));
        c.steps.at(step).run();
        const QByteArray expected = fixture(c.name, step);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(
            CStoreFixtureSteps::withoutTimes(CStoreTestRun::read(c.file)), CStoreFixtureSteps::withoutTimes(expected));
    }
};

int main(int argc, char **argv)
{
    if (!CStoreTestRun::isRelocated()) {
        // Files in other encodings are still written by the DOM, whose attribute order follows the
        // hash seed: the one the fixtures were written with.
        qputenv("QT_HASH_SEED", "0");
        return CStoreTestRun::relocate(argc, argv, {});
    }
    QCoreApplication app(argc, argv);
    TestStoreFixtures tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_storefixtures.moc"
