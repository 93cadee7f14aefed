// The Device object's answers, driven through a scripted WMI locator: the text format of a query
// result, the error texts, refused queries, the per-call connection, and the automation side.

#include "cfakewmi.h"
#include "cinquixharness.h"
#include "ctestenvironment.h"
#include "inquix_i.h"
#include "wbeminterfaces.h"

#include <QtTest>

#include <dlfcn.h>

namespace {

// Objects written compactly: objects separated by "|", properties by ";", each "name=value";
// "#null", "#unreadable" and "#int:N" as values, an object "#nonames" whose names cannot be listed.
std::vector<CFakeWmiObject> parseObjects(const QString &description)
{
    std::vector<CFakeWmiObject> objects;
    if (description.isNull())
        return objects;
    for (const QString &objectText : description.split(QLatin1Char('|'))) {
        CFakeWmiObject object;
        if (objectText == QLatin1String("#nonames")) {
            object.namesFail = true;
            objects.push_back(object);
            continue;
        }
        for (const QString &propertyText : objectText.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const int eq = propertyText.indexOf(QLatin1Char('='));
            CFakeWmiProperty p;
            p.name = propertyText.left(eq).toStdU16String();
            const QString value = propertyText.mid(eq + 1);
            if (value == QLatin1String("#null")) {
                p.kind = CFakeWmiProperty::Null;
            } else if (value == QLatin1String("#unreadable")) {
                p.kind = CFakeWmiProperty::Unreadable;
            } else if (value.startsWith(QLatin1String("#int:"))) {
                p.kind = CFakeWmiProperty::Integer;
                p.number = value.mid(5).toLongLong();
            } else {
                p.text = value.toStdU16String();
            }
            object.properties.push_back(p);
        }
        objects.push_back(object);
    }
    return objects;
}

class CVariant
{
public:
    CVariant() { VariantInit(&v); }
    ~CVariant() { VariantClear(&v); }
    VARIANT v;
};

} // namespace

class TestInquixDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void queryText_data();
    void queryText();
    void queryPassesTextAndFlags();
    void connectionErrors_data();
    void connectionErrors();
    void locatorLibraryMissing();
    void refusedQueryLeavesResult();
    void objectUsableAfterError();
    void twoCallsTwoConnections();
    void releaseDropsConnection();
    void getInfoListsEveryProperty();
    void getCpuAsksForProcessor();
    void queryInterface_data();
    void queryInterface();
    void nullResultArgument();
    void idsOfNames_data();
    void idsOfNames();
    void invokeQuery();
    void invokeCoercesArgument();
    void invokeRejects_data();
    void invokeRejects();
    void invokeRefusedLeavesResult();
    void invokeByRefOutArgument();
    void aggregation();

    void cleanupTestCase();

private:
    IDevice *createDevice();
    static HRESULT createDispatch(IDispatch **dispatch);

    CTestEnvironment m_env;
    CFakeWmiState *m_wmi = nullptr;
};

void TestInquixDevice::initTestCase()
{
    QVERIFY(m_env.isValid());
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    void *fake = CInquixHarness::openLibrary(CInquixHarness::fakeWmiPath());
    QVERIFY(fake);
    auto stateFunction = reinterpret_cast<FakeWmiStateFunction>(dlsym(fake, FAKE_WMI_STATE_SYMBOL));
    QVERIFY(stateFunction);
    m_wmi = stateFunction();
    QVERIFY(CInquixHarness::registerFakeLocator());
    void *inquix = CInquixHarness::openLibrary(CInquixHarness::inquixPath());
    QVERIFY(inquix);
    QCOMPARE(CInquixHarness::callExport(inquix, "DllRegisterServer"), S_OK);
}

void TestInquixDevice::init()
{
    m_wmi->reset();
}

void TestInquixDevice::cleanupTestCase()
{
    CoUninitialize();
}

IDevice *TestInquixDevice::createDevice()
{
    void *device = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_Device, nullptr, CLSCTX_INPROC_SERVER, IID_IDevice, &device);
    if (hr != S_OK)
        qWarning("CoCreateInstance of the Device: 0x%08x", unsigned(hr));
    return static_cast<IDevice *>(device);
}

HRESULT TestInquixDevice::createDispatch(IDispatch **dispatch)
{
    return CoCreateInstance(
        CLSID_Device, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void **>(dispatch));
}

void TestInquixDevice::queryText_data()
{
    QTest::addColumn<QString>("objects");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no object") << QString() << "";
    QTest::newRow("one object") << "Name=CPU0;Caption=x86"
                                << "Name=CPU0\nCaption=x86\n";
    QTest::newRow("two objects") << "Name=a|Name=b"
                                 << "Name=a\n^Name=b\n";
    QTest::newRow("two objects without reported properties") << "Foo=1|Bar=2"
                                                             << "^";
    QTest::newRow("three objects without reported properties") << "Foo=1|Bar=2|Baz=3"
                                                               << "^^";
    QTest::newRow("object without properties") << "|Name=b"
                                               << "^Name=b\n";
    QTest::newRow("WMI order, not list order") << "Size=#int:10;Name=n;Caption=c"
                                               << "Size=10\nName=n\nCaption=c\n";
    QTest::newRow("every listed name")
        << "Caption=1;Capacity=2;Signature=3;Description=4;Name=5;Manufacturer=6;SerialNumber=7;"
           "SocketDesignation=8;Version=9;Partitions=10;Size=11;VideoModeDescription=12"
        << "Caption=1\nCapacity=2\nSignature=3\nDescription=4\nName=5\nManufacturer=6\nSerialNumber=7\n"
           "SocketDesignation=8\nVersion=9\nPartitions=10\nSize=11\nVideoModeDescription=12\n";
    QTest::newRow("unlisted names left out") << "DeviceID=CPU0;Name=n;Vendor=v;InstallDate=2024"
                                             << "Name=n\n";
    QTest::newRow("null value gives no line") << "Name=#null;Caption=c"
                                              << "Caption=c\n";
    QTest::newRow("unreadable value gives no line") << "Name=#unreadable;Caption=c"
                                                    << "Caption=c\n";
    QTest::newRow("names differing in case") << "name=a;CAPTION=b;Serialnumber=c;InstallDATE2=20240101"
                                             << "";
    QTest::newRow("longer name is not a listed one") << "NameX=a;XName=b"
                                                     << "";
    QTest::newRow("integer value") << "Capacity=#int:4294967296"
                                   << "Capacity=4294967296\n";
    QTest::newRow("negative integer") << "Signature=#int:-7"
                                      << "Signature=-7\n";
    QTest::newRow("empty value") << "Description="
                                 << "Description=\n";
    QTest::newRow("InstallDate2 cut to the date") << "Name=pkg;InstallDate2=20240131093015.000000+060"
                                                  << "Name=pkg\nInstallDate2=20240131\n";
    QTest::newRow("InstallDate2 shorter than a date") << "InstallDate2=2024"
                                                      << "InstallDate2=2024\n";
    QTest::newRow("InstallDate2 null") << "InstallDate2=#null"
                                       << "";
    QTest::newRow("InstallDate2 cut by characters")
        << QStringLiteral("InstallDate2=\u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8\u3067\u3059\u3088")
        << QStringLiteral("InstallDate2=\u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8\u3067\n");
    QTest::newRow("InstallDate2 with a character beyond 16 bits")
        << QStringLiteral("InstallDate2=2024\U0001F600abcdef") << QStringLiteral("InstallDate2=2024\U0001F600abc\n");
    QTest::newRow("non-ASCII value survives")
        << QStringLiteral("Name=Gr\u00f6\u00dfe \u4e2d\u6587") << QStringLiteral("Name=Gr\u00f6\u00dfe \u4e2d\u6587\n");
    QTest::newRow("separators in values kept") << "Caption=a^b:c$d=e"
                                               << "Caption=a^b:c$d=e\n";
    QTest::newRow("names not listable") << "Name=a|#nonames|Name=c"
                                        << "Name=a\n^^Name=c\n";
}

void TestInquixDevice::queryText()
{
    QFETCH(QString, objects);
    QFETCH(QString, expected);
    m_wmi->objects = parseObjects(objects);

    IDevice *device = createDevice();
    QVERIFY(device);
    CVariant result;
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    const HRESULT hr = device->query(wql, &result.v);
    SysFreeString(wql);
    device->Release();

    QCOMPARE(hr, S_OK);
    QCOMPARE(result.v.vt, VARTYPE(VT_BSTR));
    QCOMPARE(CInquixHarness::text(result.v), expected);
    QCOMPARE(m_wmi->objectsAlive, 0);
    QCOMPARE(m_wmi->enumeratorsAlive, 0);
}

void TestInquixDevice::queryPassesTextAndFlags()
{
    IDevice *device = createDevice();
    QVERIFY(device);
    CVariant result;
    const QString wql = QStringLiteral("SELECT Name FROM Win32_Processor where x = '\u00e9'");
    BSTR text = CInquixHarness::bstr(wql);
    QCOMPARE(device->query(text, &result.v), S_OK);
    SysFreeString(text);
    device->Release();
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), wql);
    QCOMPARE(QString::fromStdU16String(m_wmi->lastLanguage), QStringLiteral("WQL"));
    QCOMPARE(m_wmi->lastQueryFlags, long(WBEM_FLAG_RETURN_IMMEDIATELY));
    QCOMPARE(QString::fromStdU16String(m_wmi->lastNamespace), QStringLiteral("root\\cimv2"));
    QVERIFY(!m_wmi->lastConnectHadCredentials);
}

void TestInquixDevice::connectionErrors_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("expected");
    QTest::newRow("locator") << int(CFakeWmiState::LocatorFails) << "CoCreateInstance error";
    QTest::newRow("namespace") << int(CFakeWmiState::ConnectFails) << "ConnectServer error";
}

void TestInquixDevice::connectionErrors()
{
    QFETCH(int, failure);
    QFETCH(QString, expected);
    m_wmi->failure = CFakeWmiState::Failure(failure);
    m_wmi->objects = parseObjects(QStringLiteral("Name=a"));

    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    CVariant byQuery;
    QCOMPARE(device->query(wql, &byQuery.v), S_FALSE);
    SysFreeString(wql);
    QCOMPARE(CInquixHarness::text(byQuery.v), expected);
    BSTR wmiClass = CInquixHarness::bstr(QStringLiteral("Win32_Test"));
    CVariant byInfo;
    QCOMPARE(device->getINFO(wmiClass, &byInfo.v), S_FALSE);
    SysFreeString(wmiClass);
    QCOMPARE(CInquixHarness::text(byInfo.v), expected);
    CVariant byCpu;
    QCOMPARE(device->getCPU(&byCpu.v), S_FALSE);
    QCOMPARE(CInquixHarness::text(byCpu.v), expected);
    device->Release();
    QCOMPARE(m_wmi->locatorsAlive, 0);
    QCOMPARE(m_wmi->servicesAlive, 0);
}

void TestInquixDevice::locatorLibraryMissing()
{
    // The runtime cannot load the locator's library at all.
    QVERIFY(CInquixHarness::registerFakeLocator(m_env.filePath(QStringLiteral("missing/libnowmi.so"))));
    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    CVariant result;
    const HRESULT hr = device->query(wql, &result.v);
    SysFreeString(wql);
    device->Release();
    QVERIFY(CInquixHarness::registerFakeLocator());
    QCOMPARE(hr, S_FALSE);
    QCOMPARE(CInquixHarness::text(result.v), QStringLiteral("CoCreateInstance error"));
}

void TestInquixDevice::refusedQueryLeavesResult()
{
    m_wmi->failure = CFakeWmiState::QueryRefused;
    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wql = CInquixHarness::bstr(QStringLiteral("delete everything"));
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = 4711;
    QCOMPARE(device->query(wql, &result), S_FALSE);
    SysFreeString(wql);
    QCOMPARE(result.vt, VARTYPE(VT_I4));
    QCOMPARE(result.lVal, LONG(4711));

    // Refused only while enumerating: what came before stands, with success.
    m_wmi->failure = CFakeWmiState::EnumerationFails;
    m_wmi->failAfter = 1;
    m_wmi->objects = parseObjects(QStringLiteral("Name=a|Name=b"));
    CVariant partial;
    wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    QCOMPARE(device->query(wql, &partial.v), S_OK);
    QCOMPARE(CInquixHarness::text(partial.v), QStringLiteral("Name=a\n"));
    m_wmi->failAfter = 0;
    CVariant none;
    QCOMPARE(device->query(wql, &none.v), S_OK);
    QCOMPARE(CInquixHarness::text(none.v), QStringLiteral(""));
    SysFreeString(wql);
    device->Release();
    QCOMPARE(m_wmi->enumeratorsAlive, 0);
}

void TestInquixDevice::objectUsableAfterError()
{
    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    m_wmi->failure = CFakeWmiState::ConnectFails;
    CVariant failed;
    QCOMPARE(device->query(wql, &failed.v), S_FALSE);
    m_wmi->failure = CFakeWmiState::None;
    m_wmi->objects = parseObjects(QStringLiteral("Name=a"));
    CVariant answered;
    QCOMPARE(device->query(wql, &answered.v), S_OK);
    QCOMPARE(CInquixHarness::text(answered.v), QStringLiteral("Name=a\n"));
    SysFreeString(wql);
    device->Release();
}

void TestInquixDevice::twoCallsTwoConnections()
{
    IDevice *device = createDevice();
    QVERIFY(device);
    QCOMPARE(m_wmi->connections, 0); // nothing is opened before the first call
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    CVariant first;
    QCOMPARE(device->query(wql, &first.v), S_OK);
    QCOMPARE(m_wmi->connections, 1);
    CVariant second;
    QCOMPARE(device->query(wql, &second.v), S_OK);
    SysFreeString(wql);
    QCOMPARE(m_wmi->locatorsCreated, 2);
    QCOMPARE(m_wmi->connections, 2);
    // Only the second connection is held.
    QCOMPARE(m_wmi->locatorsAlive, 1);
    QCOMPARE(m_wmi->servicesAlive, 1);
    device->Release();
}

void TestInquixDevice::releaseDropsConnection()
{
    IDevice *device = createDevice();
    QVERIFY(device);
    CVariant result;
    QCOMPARE(device->getCPU(&result.v), S_OK);
    QCOMPARE(m_wmi->servicesAlive, 1);
    QCOMPARE(device->Release(), ULONG(0));
    QCOMPARE(m_wmi->servicesAlive, 0);
    QCOMPARE(m_wmi->locatorsAlive, 0);
}

void TestInquixDevice::getInfoListsEveryProperty()
{
    m_wmi->objects = parseObjects(QStringLiteral("DeviceID=CPU0;Name=n;InstallDate2=20240131093015;Nothing=#null|"
                                                 "Foo=#int:3"));
    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wmiClass = CInquixHarness::bstr(QStringLiteral("Win32_Test"));
    CVariant result;
    QCOMPARE(device->getINFO(wmiClass, &result.v), S_OK);
    SysFreeString(wmiClass);
    device->Release();
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), QStringLiteral("Select * from Win32_Test"));
    // Every property that has a text, whole; the objects' parts simply follow each other.
    QCOMPARE(
        CInquixHarness::text(result.v), QStringLiteral("DeviceID=CPU0\nName=n\nInstallDate2=20240131093015\nFoo=3\n"));
}

void TestInquixDevice::getCpuAsksForProcessor()
{
    m_wmi->objects = parseObjects(QStringLiteral("Name=cpu;L2CacheSize=#int:512"));
    IDevice *device = createDevice();
    QVERIFY(device);
    CVariant result;
    QCOMPARE(device->getCPU(&result.v), S_OK);
    device->Release();
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), QStringLiteral("Select * from Win32_Processor"));
    QCOMPARE(CInquixHarness::text(result.v), QStringLiteral("Name=cpu\nL2CacheSize=512\n"));
}

void TestInquixDevice::queryInterface_data()
{
    QTest::addColumn<QString>("iid");
    QTest::addColumn<bool>("answered");
    QTest::newRow("IUnknown") << "{00000000-0000-0000-C000-000000000046}" << true;
    QTest::newRow("IDispatch") << "{00020400-0000-0000-C000-000000000046}" << true;
    QTest::newRow("IDevice") << "{28211449-F0EF-4A6A-906F-CCAA1A10DA56}" << true;
    QTest::newRow("IClassFactory") << "{00000001-0000-0000-C000-000000000046}" << false;
    QTest::newRow("IWbemLocator") << "{DC12A687-737F-11CF-884D-00AA004B2E24}" << false;
    QTest::newRow("the class identifier") << "{D1CA6332-0E8E-41E3-853C-703C03EA05A4}" << false;
}

void TestInquixDevice::queryInterface()
{
    QFETCH(QString, iid);
    QFETCH(bool, answered);
    IID wanted;
    QCOMPARE(IIDFromString(reinterpret_cast<LPCOLESTR>(iid.utf16()), &wanted), S_OK);
    IDevice *device = createDevice();
    QVERIFY(device);
    void *out = reinterpret_cast<void *>(1);
    const HRESULT hr = device->QueryInterface(wanted, &out);
    if (answered) {
        QCOMPARE(hr, S_OK);
        QVERIFY(out);
        IUnknown *identityA = nullptr;
        IUnknown *identityB = nullptr;
        static_cast<IUnknown *>(out)->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identityA));
        device->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identityB));
        QCOMPARE(identityA, identityB); // one identity whichever interface is asked
        identityA->Release();
        identityB->Release();
        static_cast<IUnknown *>(out)->Release();
    } else {
        QCOMPARE(hr, E_NOINTERFACE);
        QCOMPARE(out, nullptr);
    }
    QCOMPARE(device->Release(), ULONG(0));
}

void TestInquixDevice::nullResultArgument()
{
    IDevice *device = createDevice();
    QVERIFY(device);
    BSTR wql = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    QCOMPARE(device->query(wql, nullptr), E_POINTER);
    QCOMPARE(device->getINFO(wql, nullptr), E_POINTER);
    QCOMPARE(device->getCPU(nullptr), E_POINTER);
    SysFreeString(wql);
    device->Release();
}

void TestInquixDevice::idsOfNames_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("hr");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("query") << QStringList {"query"} << int(S_OK) << QList<int> {3};
    QTest::newRow("QUERY") << QStringList {"QUERY"} << int(S_OK) << QList<int> {3};
    QTest::newRow("getcpu") << QStringList {"getcpu"} << int(S_OK) << QList<int> {1};
    QTest::newRow("GetInfo") << QStringList {"GetInfo"} << int(S_OK) << QList<int> {2};
    QTest::newRow("unknown") << QStringList {"queryRaw"} << int(DISP_E_UNKNOWNNAME) << QList<int> {-1};
    QTest::newRow("parameters") << QStringList {"query", "BSTRSQL", "pvarResult"} << int(S_OK) << QList<int> {3, 0, 1};
    QTest::newRow("unknown parameter") << QStringList {"getINFO", "bstrSQL"} << int(DISP_E_UNKNOWNNAME)
                                       << QList<int> {2, -1};
}

void TestInquixDevice::idsOfNames()
{
    QFETCH(QStringList, names);
    QFETCH(int, hr);
    QFETCH(QList<int>, ids);
    IDevice *device = createDevice();
    QVERIFY(device);
    std::vector<std::u16string> storage;
    std::vector<LPOLESTR> pointers;
    for (const QString &name : names)
        storage.push_back(name.toStdU16String());
    for (std::u16string &s : storage)
        pointers.push_back(s.data());
    std::vector<DISPID> out(names.size(), 99);
    QCOMPARE(device->GetIDsOfNames(IID_NULL, pointers.data(), UINT(names.size()), 0x409, out.data()), HRESULT(hr));
    for (int i = 0; i < ids.size(); ++i)
        QCOMPARE(out[i], DISPID(ids[i]));
    UINT count = 7;
    QCOMPARE(device->GetTypeInfoCount(&count), S_OK);
    QCOMPARE(count, UINT(0));
    device->Release();
}

void TestInquixDevice::invokeQuery()
{
    m_wmi->objects = parseObjects(QStringLiteral("Name=a;Vendor=v"));
    IDispatch *dispatch = nullptr;
    QCOMPARE(createDispatch(&dispatch), S_OK);
    std::u16string name = u"query";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    QCOMPARE(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = CInquixHarness::bstr(QStringLiteral("select * from Win32_Product"));
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    CVariant result;
    QCOMPARE(dispatch->Invoke(id, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr), S_OK);
    QCOMPARE(CInquixHarness::text(result.v), QStringLiteral("Name=a\n"));
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), QStringLiteral("select * from Win32_Product"));
    // The argument stays the caller's.
    QCOMPARE(arg.vt, VARTYPE(VT_BSTR));
    VariantClear(&arg);
    // getCPU takes no argument.
    DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    CVariant cpu;
    QCOMPARE(
        dispatch->Invoke(1, IID_NULL, 0x409, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &noArgs, &cpu.v, nullptr, nullptr),
        S_OK);
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), QStringLiteral("Select * from Win32_Processor"));
    dispatch->Release();
}

void TestInquixDevice::invokeCoercesArgument()
{
    IDispatch *dispatch = nullptr;
    QCOMPARE(createDispatch(&dispatch), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = 42;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    CVariant result;
    QCOMPARE(dispatch->Invoke(2, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr), S_OK);
    QCOMPARE(QString::fromStdU16String(m_wmi->lastQuery), QStringLiteral("Select * from 42"));
    dispatch->Release();
}

void TestInquixDevice::invokeRejects_data()
{
    QTest::addColumn<int>("dispid");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("argType");
    QTest::addColumn<int>("argCount");
    QTest::addColumn<int>("hr");
    QTest::addColumn<int>("argErr");
    QTest::newRow("unknown member") << 4 << int(DISPATCH_METHOD) << int(VT_BSTR) << 1 << int(DISP_E_MEMBERNOTFOUND)
                                    << -1;
    QTest::newRow("property put") << 3 << int(DISPATCH_PROPERTYPUT) << int(VT_BSTR) << 1 << int(DISP_E_MEMBERNOTFOUND)
                                  << -1;
    QTest::newRow("no argument") << 3 << int(DISPATCH_METHOD) << int(VT_BSTR) << 0 << int(DISP_E_BADPARAMCOUNT) << -1;
    QTest::newRow("argument to getCPU") << 1 << int(DISPATCH_METHOD) << int(VT_BSTR) << 1 << int(DISP_E_TYPEMISMATCH)
                                        << 0;
    QTest::newRow("null argument") << 3 << int(DISPATCH_METHOD) << int(VT_NULL) << 1 << int(DISP_E_TYPEMISMATCH) << 0;
}

void TestInquixDevice::invokeRejects()
{
    QFETCH(int, dispid);
    QFETCH(int, flags);
    QFETCH(int, argType);
    QFETCH(int, argCount);
    QFETCH(int, hr);
    QFETCH(int, argErr);
    IDispatch *dispatch = nullptr;
    QCOMPARE(createDispatch(&dispatch), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VARTYPE(argType);
    if (argType == VT_BSTR)
        arg.bstrVal = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    DISPPARAMS params = {&arg, nullptr, UINT(argCount), 0};
    CVariant result;
    UINT err = 99;
    QCOMPARE(dispatch->Invoke(dispid, IID_NULL, 0x409, WORD(flags), &params, &result.v, nullptr, &err), HRESULT(hr));
    if (argErr >= 0)
        QCOMPARE(err, UINT(argErr));
    QCOMPARE(result.v.vt, VARTYPE(VT_EMPTY));
    QCOMPARE(m_wmi->connections, 0);
    VariantClear(&arg);
    dispatch->Release();
}

void TestInquixDevice::invokeRefusedLeavesResult()
{
    m_wmi->failure = CFakeWmiState::QueryRefused;
    IDispatch *dispatch = nullptr;
    QCOMPARE(createDispatch(&dispatch), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = CInquixHarness::bstr(QStringLiteral("nonsense"));
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    CVariant result;
    QCOMPARE(dispatch->Invoke(3, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr), S_FALSE);
    QCOMPARE(result.v.vt, VARTYPE(VT_EMPTY));
    VariantClear(&arg);
    dispatch->Release();
}

void TestInquixDevice::invokeByRefOutArgument()
{
    m_wmi->objects = parseObjects(QStringLiteral("Name=a"));
    IDispatch *dispatch = nullptr;
    QCOMPARE(createDispatch(&dispatch), S_OK);
    // A caller that passes the [out] argument too, as "query(BSTR, VARIANT*)" reads.
    CVariant out;
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &out.v;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = CInquixHarness::bstr(QStringLiteral("select * from Win32_Test"));
    DISPPARAMS params = {args, nullptr, 2, 0};
    CVariant result;
    QCOMPARE(dispatch->Invoke(3, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr), S_OK);
    QCOMPARE(CInquixHarness::text(out.v), QStringLiteral("Name=a\n"));
    QCOMPARE(CInquixHarness::text(result.v), QStringLiteral("Name=a\n"));
    VariantClear(&args[1]);
    dispatch->Release();
}

namespace {

// A minimal outer object: it keeps the Device's inner unknown and hands out its interfaces.
class COuter final : public IUnknown
{
public:
    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return ++ref; }
    ULONG Release() override { return --ref; }
    IUnknown *inner = nullptr;
    ULONG ref = 1;
};

} // namespace

void TestInquixDevice::aggregation()
{
    COuter outer;
    void *out = nullptr;
    QCOMPARE(CoCreateInstance(CLSID_Device, &outer, CLSCTX_INPROC_SERVER, IID_IDevice, &out),
        HRESULT(CLASS_E_NOAGGREGATION));
    QCOMPARE(out, nullptr);
    QCOMPARE(CoCreateInstance(CLSID_Device, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &out), S_OK);
    outer.inner = static_cast<IUnknown *>(out);
    IDevice *device = nullptr;
    QCOMPARE(outer.QueryInterface(IID_IDevice, reinterpret_cast<void **>(&device)), S_OK);
    QCOMPARE(outer.ref, ULONG(2)); // the Device's references count on the outer object
    IUnknown *identity = nullptr;
    QCOMPARE(device->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity)), S_OK);
    QCOMPARE(identity, static_cast<IUnknown *>(&outer));
    identity->Release();
    device->Release();
    QCOMPARE(outer.ref, ULONG(1));
    QCOMPARE(outer.inner->Release(), ULONG(0));
}

QTEST_GUILESS_MAIN(TestInquixDevice)
#include "tst_inquixdevice.moc"
