#include "cclassregistry.h"
#include "cinproclibrarytable.h"
#include "combase.h"
#include "ctestenvironment.h"
#include "qaxobject.h"
#include "testcomserver.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <thread>

namespace {

QString serverPath()
{
    return QFileInfo(QStringLiteral(TESTCOMSERVER_PATH)).canonicalFilePath();
}

} // namespace

class TestQAxObject : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bindByProgId_data();
    void bindByProgId();
    void dynamicCall_data();
    void dynamicCall();
    void retvalFromPrototype();
    void callFailures_data();
    void callFailures();
    void unboundGivesInvalid_data();
    void unboundGivesInvalid();
    void objectsReleased();
    void threadWithoutCom();
    void threadInMultithreadedApartment();

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

void TestQAxObject::init()
{
    m_env = std::make_unique<CTestEnvironment>();
    QVERIFY(m_env->isValid());
    // The server's own registration, as an installation would run it.
    QProcess regsvr;
    regsvr.start(CTestEnvironment::stagedFile(QStringLiteral("bramix-regsvr")), {serverPath()});
    QVERIFY(regsvr.waitForFinished(30000));
    QCOMPARE(regsvr.exitCode(), 0);
}

void TestQAxObject::cleanup()
{
    CoFreeUnusedLibraries();
    m_env.reset();
}

void TestQAxObject::bindByProgId_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("ProgID") << "BramixTest.Calc.1";
    QTest::newRow("version-independent ProgID") << "BramixTest.Calc";
    QTest::newRow("CLSID") << TESTCALC_CLSID_TEXT;
    QTest::newRow("CLSID lower case") << QStringLiteral(TESTCALC_CLSID_TEXT).toLower();
}

void TestQAxObject::bindByProgId()
{
    QFETCH(QString, control);
    QAxObject object;
    QVERIFY(object.isNull());
    QVERIFY(object.setControl(control));
    QVERIFY(!object.isNull());
    QCOMPARE(object.control(), control);
    QCOMPARE(object.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QStringLiteral("select * from X")),
        QVariant(QStringLiteral("answer to select * from X")));
    QAxObject constructed(control);
    QVERIFY(!constructed.isNull());
}

void TestQAxObject::dynamicCall_data()
{
    QTest::addColumn<QByteArray>("prototype");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("arguments in order") << QByteArray("concat(BSTR a, BSTR b, VARIANT* r)")
                                        << QVariantList {QStringLiteral("first"), QStringLiteral("second")}
                                        << QVariant(QStringLiteral("first|second"));
    QTest::newRow("name only") << QByteArray("concat") << QVariantList {QStringLiteral("x"), QStringLiteral("y")}
                               << QVariant(QStringLiteral("x|y"));
    QTest::newRow("integers") << QByteArray("add(int a, int b, VARIANT *result)") << QVariantList {2, 3} << QVariant(5);
    QTest::newRow("integer declared, text given")
        << QByteArray("add(int a, int b)") << QVariantList {QStringLiteral("40"), 2} << QVariant(42);
    QTest::newRow("bool") << QByteArray("negate(bool b)") << QVariantList {true} << QVariant(false);
    QTest::newRow("double") << QByteArray("half(double d)") << QVariantList {2.5} << QVariant(1.25);
    QTest::newRow("text declared, number given")
        << QByteArray("describe(BSTR v)") << QVariantList {12} << QVariant(QStringLiteral("8:12"));
    QTest::newRow("VARIANT keeps int") << QByteArray("describe(VARIANT v)") << QVariantList {12}
                                       << QVariant(QStringLiteral("3:12"));
    QTest::newRow("VARIANT keeps bool") << QByteArray("describe(VARIANT v)") << QVariantList {true}
                                        << QVariant(QStringLiteral("11:True"));
    QTest::newRow("VARIANT keeps 64 bits") << QByteArray("describe(VARIANT v)") << QVariantList {qlonglong(1) << 40}
                                           << QVariant(QStringLiteral("20:1099511627776"));
    QTest::newRow("VARIANT keeps double")
        << QByteArray("describe(VARIANT v)") << QVariantList {0.5} << QVariant(QStringLiteral("5:0.5"));
    QTest::newRow("empty text stays text")
        << QByteArray("describe(VARIANT v)") << QVariantList {QString()} << QVariant(QStringLiteral("8:"));
    QTest::newRow("optional argument left out")
        << QByteArray("describe(VARIANT v)") << QVariantList() << QVariant(QStringLiteral("10:2147614724"));
    QTest::newRow("method name case") << QByteArray("QUERY(BSTR s)") << QVariantList {QStringLiteral("q")}
                                      << QVariant(QStringLiteral("answer to q"));
    QTest::newRow("method without result") << QByteArray("nothing()") << QVariantList() << QVariant();
}

void TestQAxObject::dynamicCall()
{
    QFETCH(QByteArray, prototype);
    QFETCH(QVariantList, args);
    QFETCH(QVariant, expected);
    QAxObject object(QStringLiteral("BramixTest.Calc.1"));
    QVERIFY(!object.isNull());
    const QVariant result = object.dynamicCall(prototype.constData(), args);
    QCOMPARE(result, expected);
    QCOMPARE(result.metaType(), expected.metaType());
}

void TestQAxObject::retvalFromPrototype()
{
    // Eight argument slots, the unused ones invalid: only the given one reaches the method.
    QAxObject object(QStringLiteral("BramixTest.Calc.1"));
    const QVariant v = object.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QVariant(QString()), QVariant(),
        QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant());
    QCOMPARE(v, QVariant(QStringLiteral("answer to ")));
}

void TestQAxObject::callFailures_data()
{
    QTest::addColumn<QByteArray>("prototype");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("warning");
    QTest::newRow("unknown method")
        << QByteArray("missing(BSTR a)") << QVariantList {QStringLiteral("x")}
        << "^QAxBase::dynamicCall: missing: no such method in BramixTest.Calc.1 \\(0x80020006\\)$";
    QTest::newRow("method fails") << QByteArray("fail()") << QVariantList()
                                  << "^QAxBase::dynamicCall: error calling fail of BramixTest.Calc.1: 0x80020009 "
                                     "TestCalc: failed on purpose$";
    QTest::newRow("wrong argument type")
        << QByteArray("add(BSTR a, BSTR b)") << QVariantList {QStringLiteral("1"), QStringLiteral("2")}
        << "^QAxBase::dynamicCall: error calling add of BramixTest.Calc.1: 0x80020005$";
    QTest::newRow("too many arguments")
        << QByteArray("query(BSTR s)") << QVariantList {QStringLiteral("a"), QStringLiteral("b")}
        << "^QAxBase::dynamicCall: query\\(BSTR s\\): 2 arguments given for 1 parameters$";
    QTest::newRow("not a prototype") << QByteArray("query(BSTR s") << QVariantList {QStringLiteral("a")}
                                     << "^QAxBase::dynamicCall: query\\(BSTR s: not a method prototype$";
    QTest::newRow("empty prototype") << QByteArray("") << QVariantList()
                                     << "^QAxBase::dynamicCall: : not a method prototype$";
}

void TestQAxObject::callFailures()
{
    QFETCH(QByteArray, prototype);
    QFETCH(QVariantList, args);
    QFETCH(QString, warning);
    QAxObject object(QStringLiteral("BramixTest.Calc.1"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QVERIFY(!object.dynamicCall(prototype.constData(), args).isValid());
    // The object stays usable.
    QCOMPARE(object.dynamicCall("add(int a, int b)", 1, 1), QVariant(2));
}

void TestQAxObject::unboundGivesInvalid_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("hr");
    QTest::newRow("unregistered ProgID") << "Inquix.Device.1"
                                         << "0x800401F3";
    QTest::newRow("unregistered CLSID") << "{D1CA6332-0E8E-41E3-853C-703C03EA05A4}"
                                        << "0x80040154";
    QTest::newRow("interface identifier") << TESTCALC_IID_TEXT << "0x80040154";
    QTest::newRow("malformed braces text") << "{not-a-guid}"
                                           << "0x800401F3";
    QTest::newRow("empty") << ""
                           << "0x800401F3";
}

void TestQAxObject::unboundGivesInvalid()
{
    QFETCH(QString, control);
    QFETCH(QString, hr);
    QAxObject object;
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(
            QStringLiteral("^QAxBase::setControl: requested control %1 could not be instantiated \\(%2\\)$")
                .arg(QRegularExpression::escape(control), hr)));
    QVERIFY(!object.setControl(control));
    QVERIFY(object.isNull());
    QVERIFY(object.control().isEmpty());
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^QAxBase::dynamicCall: query.*no COM object")));
    const QVariant v = object.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QStringLiteral("select"));
    QVERIFY(!v.isValid());
    QCOMPARE(v.toString(), QString());
}

void TestQAxObject::objectsReleased()
{
    const QString path = serverPath();
    for (int i = 0; i < 3; ++i) {
        {
            QAxObject object(QStringLiteral("BramixTest.Calc.1"));
            QCOMPARE(object.dynamicCall("add(int a, int b)", i, 1), QVariant(i + 1));
            CoFreeUnusedLibraries();
            QVERIFY(CInprocLibraryTable::isLoaded(path)); // the object holds the server
        }
        CoFreeUnusedLibraries();
        QVERIFY(!CInprocLibraryTable::isLoaded(path)); // nothing outlives the object
    }
    // Rebinding releases the earlier object too.
    QAxObject object(QStringLiteral("BramixTest.Calc.1"));
    object.clear();
    CoFreeUnusedLibraries();
    QVERIFY(!CInprocLibraryTable::isLoaded(path));
    QVERIFY(object.isNull());
}

void TestQAxObject::threadWithoutCom()
{
    QVariant result;
    HRESULT before = S_OK;
    HRESULT after = S_OK;
    std::thread t([&] {
        {
            QAxObject object(QStringLiteral("BramixTest.Calc.1"));
            result = object.dynamicCall("concat(BSTR a, BSTR b)", QStringLiteral("in"), QStringLiteral("thread"));
        }
        // The thread is now in a single-threaded apartment.
        before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(after))
            CoUninitialize();
    });
    t.join();
    QCOMPARE(result, QVariant(QStringLiteral("in|thread")));
    QCOMPARE(before, RPC_E_CHANGED_MODE);
    QCOMPARE(after, S_FALSE);
}

void TestQAxObject::threadInMultithreadedApartment()
{
    QVariant result;
    std::thread t([&] {
        QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            QAxObject object(QStringLiteral("BramixTest.Calc"));
            result = object.dynamicCall("add(int a, int b)", 20, 22);
        }
        CoUninitialize();
    });
    t.join();
    QCOMPARE(result, QVariant(42));
}

QTEST_GUILESS_MAIN(TestQAxObject)
#include "tst_qaxobject.moc"
