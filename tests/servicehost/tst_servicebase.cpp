// The service object in-process: name corrections, settings, and the event-log writer.

#include "cservicefixture.h"
#include "qtservice.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

namespace {

class CNullService : public QtService<QCoreApplication>
{
public:
    CNullService(const QString &name)
        : QtService<QCoreApplication>(0, nullptr, name)
    { }

protected:
    void start() override { }
};

} // namespace

class TestServiceBase : public QObject
{
    Q_OBJECT

private slots:
    void longNameCut();
    void backslashesReplaced();
    void singleInstance();
    void settings();
    void logTypes_data();
    void logTypes();
    void logFieldsAndEscaping();
    void logConcurrentWriters();
};

void TestServiceBase::longNameCut()
{
    CServiceFixture fx;
    QTest::ignoreMessage(QtWarningMsg, "QtService: 'name' is longer than 255 characters.");
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    CNullService s(QString(300, QLatin1Char('n')));
    QCOMPARE(s.serviceName(), QString(255, QLatin1Char('n')));
}

void TestServiceBase::backslashesReplaced()
{
    CServiceFixture fx;
    QTest::ignoreMessage(QtWarningMsg, "QtService: 'name' contains backslashes '\\'.");
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    CNullService s(QStringLiteral("a\\b\\c"));
    const QString name = s.serviceName();
    QCOMPARE(name.size(), 5);
    QCOMPARE(name.count(QChar(0)), 2);
    QCOMPARE(name, QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0) + QStringLiteral("c"));
}

void TestServiceBase::singleInstance()
{
    QCOMPARE(QtServiceBase::instance(), nullptr);
    {
        CNullService s(QStringLiteral("One"));
        QCOMPARE(QtServiceBase::instance(), &s);
    }
    QCOMPARE(QtServiceBase::instance(), nullptr);
}

void TestServiceBase::settings()
{
    CNullService s(QStringLiteral("One"));
    QCOMPARE(s.startupType(), QtServiceController::ManualStartup);
    QCOMPARE(s.serviceFlags(), QtServiceBase::ServiceFlags(QtServiceBase::Default));
    QVERIFY(s.serviceDescription().isEmpty());
    s.setServiceFlags(QtServiceBase::CanBeSuspended);
    s.setServiceFlags(QtServiceBase::CanBeSuspended);
    QCOMPARE(s.serviceFlags(), QtServiceBase::ServiceFlags(QtServiceBase::CanBeSuspended));
    s.setStartupType(QtServiceController::AutoStartup);
    QCOMPARE(s.startupType(), QtServiceController::AutoStartup);
    s.setServiceDescription(QStringLiteral("text"));
    QCOMPARE(s.serviceDescription(), QStringLiteral("text"));
}

void TestServiceBase::logTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("recorded");
    QTest::newRow("Success") << int(QtServiceBase::Success) << "success";
    QTest::newRow("Error") << int(QtServiceBase::Error) << "error";
    QTest::newRow("Warning") << int(QtServiceBase::Warning) << "warning";
    QTest::newRow("Information") << int(QtServiceBase::Information) << "information";
    QTest::newRow("other value") << 7 << "success";
    QTest::newRow("negative value") << -1 << "success";
}

void TestServiceBase::logTypes()
{
    QFETCH(int, type);
    QFETCH(QString, recorded);
    CServiceFixture fx;
    CNullService s(QStringLiteral("Typed Source"));
    s.logMessage(QStringLiteral("hello"), QtServiceBase::MessageType(type));
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).type, recorded);
    QCOMPARE(log.at(0).source, QStringLiteral("Typed Source"));
    QCOMPARE(log.at(0).strings, QStringList {QStringLiteral("hello")});
    QCOMPARE(log.at(0).eventId, 0);
    QCOMPARE(log.at(0).category, 0);
    QVERIFY(log.at(0).data.isEmpty());
}

void TestServiceBase::logFieldsAndEscaping()
{
    CServiceFixture fx;
    CNullService s(QStringLiteral("Escaped\tSource"));
    const QString message = QStringLiteral("line one\nline two\r\n\ttabbed \\ back\\nslash");
    s.logMessage(message, QtServiceBase::Information, 42, 0x12345, QByteArray("\x00\xff\x10", 3));
    const QByteArray raw = CTestEnvironment::readFile(fx.env().platformRoot() + "/eventlog.txt");
    QCOMPARE(raw.count('\n'), 1); // one record, one line
    QVERIFY(raw.endsWith('\n'));
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).source, QStringLiteral("Escaped\tSource"));
    QCOMPARE(log.at(0).strings, QStringList {message});
    QCOMPARE(log.at(0).eventId, 42);
    QCOMPARE(log.at(0).category, 0x2345); // the category is cut to 16 bits
    QCOMPARE(log.at(0).data, QByteArray("\x00\xff\x10", 3));
}

void TestServiceBase::logConcurrentWriters()
{
    CServiceFixture fx;
    CNullService s(QStringLiteral("Busy"));
    const int threads = 8;
    const int perThread = 150;
    const QString filler(300, QLatin1Char('x'));
    QList<QThread *> workers;
    for (int t = 0; t < threads; ++t) {
        workers << QThread::create([&s, t, perThread, filler] {
            for (int i = 0; i < perThread; ++i)
                s.logMessage(QStringLiteral("%1/%2 %3\nend").arg(t).arg(i).arg(filler));
        });
        workers.last()->start();
    }
    for (QThread *w : workers) {
        QVERIFY(w->wait(60000));
        delete w;
    }
    const auto log = fx.eventLog();
    QCOMPARE(log.size(), threads * perThread);
    QSet<QString> seen;
    for (const auto &r : log) {
        QCOMPARE(r.strings.size(), 1);
        QVERIFY(r.strings.at(0).endsWith(filler + QStringLiteral("\nend")));
        seen.insert(r.strings.at(0));
    }
    QCOMPARE(seen.size(), threads * perThread);
}

QTEST_GUILESS_MAIN(TestServiceBase)
#include "tst_servicebase.moc"
