// The whole road on this machine, as the client agent takes it: Inquix registered with the
// registration tool, the class found by its ProgID, and "query" called late-bound through
// IDispatch, answered by the WMI stand-in from the live machine.

#include "cinquixharness.h"
#include "ctestenvironment.h"
#include "ctestprocess.h"
#include "inquix_i.h"

#include <QFile>
#include <QtTest>

class TestInquixLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void createdByProgId();
    void productsArePackages();
    void processorReported();
    void everyClassAnswers_data();
    void everyClassAnswers();
    void removedWithTool();
    void cleanupTestCase();

private:
    static int runRegsvr(const QStringList &arguments);
    QString query(const QString &wql, HRESULT *hr = nullptr);

    CTestEnvironment m_env;
};

int TestInquixLive::runRegsvr(const QStringList &arguments)
{
    QByteArray output; // the tool's report is not wanted here
    return CTestProcess::run(CTestEnvironment::stagedFile(QStringLiteral("bramix-regsvr")), arguments,
        QProcessEnvironment::systemEnvironment(), QString(), &output, 30000);
}

void TestInquixLive::initTestCase()
{
    QVERIFY(m_env.isValid());
    qunsetenv("BRAMIX_WMI_ROOT");
    QCOMPARE(runRegsvr({CInquixHarness::inquixPath()}), 0);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void TestInquixLive::cleanupTestCase()
{
    CoUninitialize();
}

QString TestInquixLive::query(const QString &wql, HRESULT *hr)
{
    CLSID clsid;
    if (CLSIDFromProgID(u"Inquix.Device.1", &clsid) != S_OK)
        return QStringLiteral("#no class");
    IDispatch *dispatch = nullptr;
    if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
            reinterpret_cast<void **>(&dispatch))
        != S_OK)
        return QStringLiteral("#not created");
    std::u16string name = u"query";
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    dispatch->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = CInquixHarness::bstr(wql);
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT invoked
        = dispatch->Invoke(id, IID_NULL, GetThreadLocale(), DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    if (hr)
        *hr = invoked;
    const QString text = CInquixHarness::text(result);
    VariantClear(&result);
    VariantClear(&arg);
    dispatch->Release();
    return text;
}

void TestInquixLive::createdByProgId()
{
    CLSID clsid;
    QCOMPARE(CLSIDFromProgID(u"Inquix.Device.1", &clsid), S_OK);
    QVERIFY(clsid == CLSID_Device);
    QCOMPARE(CLSIDFromProgID(u"Inquix.Device", &clsid), S_OK);
    QVERIFY(clsid == CLSID_Device);
}

void TestInquixLive::productsArePackages()
{
    const QByteArray status = CTestEnvironment::readFile(QStringLiteral("/var/lib/dpkg/status"));
    if (status.isEmpty())
        QSKIP("no package database on this machine");
    const int installed = int(status.count("install ok installed"));
    HRESULT hr = E_FAIL;
    const QString text = query(QStringLiteral("select * from Win32_Product"), &hr);
    QCOMPARE(hr, S_OK);
    const QStringList objects = text.split(QLatin1Char('^'));
    QCOMPARE(text.isEmpty() ? 0 : int(objects.size()), installed);
    for (const QString &object : objects) {
        QVERIFY2(
            object.startsWith(QLatin1String("Name=")) || object.contains(QLatin1String("\nName=")), qPrintable(object));
        // The install date is the date alone.
        const int at = object.indexOf(QLatin1String("InstallDate2="));
        if (at >= 0)
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d{8}$"))
                         .match(object.mid(at + 13).section(QLatin1Char('\n'), 0, 0))
                         .hasMatch(),
                qPrintable(object));
    }
}

void TestInquixLive::processorReported()
{
    HRESULT hr = E_FAIL;
    const QString text = query(QStringLiteral("select * from Win32_Processor"), &hr);
    QCOMPARE(hr, S_OK);
    QVERIFY2(!text.isEmpty(), "no processor");
    for (const QString &object : text.split(QLatin1Char('^'))) {
        QVERIFY2(object.contains(QLatin1String("Name=")), qPrintable(object));
        QVERIFY(object.endsWith(QLatin1Char('\n')));
    }
}

void TestInquixLive::everyClassAnswers_data()
{
    QTest::addColumn<QString>("wmiClass");
    for (const char *name : {"Win32_Processor", "Win32_BaseBoard", "Win32_DiskDrive", "Win32_VideoController",
             "Win32_NetworkAdapter", "Win32_BIOS", "Win32_CDROMDrive", "Win32_DesktopMonitor", "Win32_PhysicalMemory",
             "Win32_Printer", "Win32_SoundDevice", "Win32_Product", "Win32_OperatingSystem"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestInquixLive::everyClassAnswers()
{
    QFETCH(QString, wmiClass);
    HRESULT hr = E_FAIL;
    const QString text = query(QStringLiteral("select * from ") + wmiClass, &hr);
    QCOMPARE(hr, S_OK);
    QVERIFY(!text.startsWith(QLatin1String("CoCreateInstance error")));
    QVERIFY(!text.startsWith(QLatin1String("ConnectServer error")));
    // Shape only: every line of every object is "name=value".
    for (const QString &object : text.split(QLatin1Char('^'))) {
        if (object.isEmpty())
            continue;
        QVERIFY2(object.endsWith(QLatin1Char('\n')), qPrintable(object));
        for (const QString &line : object.chopped(1).split(QLatin1Char('\n')))
            QVERIFY2(line.indexOf(QLatin1Char('=')) > 0, qPrintable(line));
    }
}

void TestInquixLive::removedWithTool()
{
    QCOMPARE(runRegsvr({QStringLiteral("-u"), CInquixHarness::inquixPath()}), 0);
    CLSID clsid;
    QVERIFY(FAILED(CLSIDFromProgID(u"Inquix.Device.1", &clsid)));
    QCOMPARE(query(QStringLiteral("select * from Win32_Processor")), QStringLiteral("#no class"));
}

QTEST_GUILESS_MAIN(TestInquixLive)
#include "tst_inquixlive.moc"
