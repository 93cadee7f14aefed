// The WMI stand-in through the COM runtime, called the way the Device object calls it, over a
// fixture tree named by BRAMIX_WMI_ROOT (and once over the live machine, for shape only).

#include "ctestenvironment.h"
#include "wbeminterfaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
class CBstr
{
public:
    explicit CBstr(const QString &s)
        : m_b(s.isNull() ? nullptr : SysAllocString(reinterpret_cast<const OLECHAR *>(s.utf16())))
    { }
    ~CBstr() { SysFreeString(m_b); }
    CBstr(const CBstr &) = delete;
    CBstr &operator=(const CBstr &) = delete;
    operator BSTR() const { return m_b; }

private:
    BSTR m_b;
};

template<class T> void release(T *&p)
{
    if (p)
        p->Release();
    p = nullptr;
}

// The value as text the way the Device object makes it: copy, then convert to VT_BSTR.
bool valueText(const VARIANT &value, QString *text)
{
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantCopy(&copy, &value)))
        return false;
    const HRESULT hr = VariantChangeType(&copy, &copy, 0, VT_BSTR);
    if (SUCCEEDED(hr))
        *text = QString::fromUtf16(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return SUCCEEDED(hr);
}

QStringList names(IWbemClassObject *object)
{
    SAFEARRAY *array = nullptr;
    if (FAILED(object->GetNames(nullptr, WBEM_MASK_CONDITION_ORIGIN, nullptr, &array)) || !array)
        return {QStringLiteral("<GetNames failed>")};
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    QStringList result;
    for (LONG i = lower; i <= upper; ++i) {
        BSTR name = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(array, &i, &name)))
            result.append(QString::fromUtf16(name, SysStringLen(name)));
        SysFreeString(name);
    }
    SafeArrayDestroy(array);
    return result;
}

bool write(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}
} // namespace

class TestWmiCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void namespaces_data();
    void namespaces();
    void queries_data();
    void queries();
    void unknownClass();
    void enumerationOrderAndEnd();
    void valueTypes();
    void deviceObjectText();
    void rootIsReadWhenTheQueryRuns();
    void libraryExports();
    void liveMachineShape();

private:
    IWbemServices *connect();
    // Each object's properties the way the Device object reads them: "name=text" lines, a value that
    // does not convert gives no line; objects joined by "^".
    QString run(const QString &query, const QStringList &only = QStringList());

    CTestEnvironment m_env;
    QTemporaryDir m_fixture;
    QTemporaryDir m_emptyRoot;
};

void TestWmiCom::initTestCase()
{
    QVERIFY(m_env.isValid());
    QVERIFY(m_fixture.isValid());
    QVERIFY(m_emptyRoot.isValid());
    QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const QString root = m_fixture.path();
    QVERIFY(write(root + "/proc/cpuinfo",
        "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Beta CPU @ 3.00GHz\nphysical id\t: 1\ncpu cores\t: "
        "4\n"
        "cpu MHz\t\t: 3000.000\n\nprocessor\t: 1\nvendor_id\t: GenuineIntel\nmodel name\t: Alpha CPU @ 2.00GHz\n"
        "physical id\t: 0\ncpu cores\t: 4\ncpu MHz\t\t: 2000.000\n\n"));
    QVERIFY(write(root + "/sys/block/vda/size", "2000000000\n"));
    QVERIFY(write(root + "/sys/block/vda/removable", "0\n"));
    QVERIFY(write(root + "/sys/block/vdb/size", "20\n"));
    qputenv("BRAMIX_WMI_ROOT", QFile::encodeName(root));
}

void TestWmiCom::cleanupTestCase()
{
    CoUninitialize();
}

IWbemServices *TestWmiCom::connect()
{
    IWbemLocator *locator = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WbemAdministrativeLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
            IID_IWbemLocator, reinterpret_cast<void **>(&locator)))
        || !locator)
        return nullptr;
    IWbemServices *services = nullptr;
    CBstr ns(QStringLiteral("root\\cimv2"));
    const HRESULT hr = locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    locator->Release();
    return SUCCEEDED(hr) ? services : nullptr;
}

QString TestWmiCom::run(const QString &query, const QStringList &only)
{
    IWbemServices *services = connect();
    if (!services)
        return QStringLiteral("<no connection>");
    CBstr wql(QStringLiteral("WQL"));
    CBstr text(query);
    IEnumWbemClassObject *objects = nullptr;
    if (FAILED(services->ExecQuery(wql, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects))) {
        services->Release();
        return QStringLiteral("<refused>");
    }
    QStringList parts;
    IWbemClassObject *object = nullptr;
    ULONG returned = 0;
    while (objects->Next(WBEM_INFINITE, 1, &object, &returned) == WBEM_S_NO_ERROR && returned == 1) {
        QString part;
        for (const QString &name : names(object)) {
            VARIANT value;
            VariantInit(&value);
            QString valueString;
            if (SUCCEEDED(object->Get(reinterpret_cast<LPCOLESTR>(name.utf16()), 0, &value, nullptr, nullptr))
                && valueText(value, &valueString) && (only.isEmpty() || only.contains(name)))
                part += name + QLatin1Char('=') + valueString + QLatin1Char('\n');
            VariantClear(&value);
        }
        parts.append(part);
        release(object);
    }
    objects->Release();
    services->Release();
    return parts.join(QLatin1Char('^'));
}

void TestWmiCom::namespaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("expected");
    const qint64 ok = WBEM_S_NO_ERROR;
    const qint64 refused = qint64(WBEM_E_INVALID_NAMESPACE);
    QTest::newRow("backslash") << QStringLiteral("root\\cimv2") << ok;
    QTest::newRow("slash") << QStringLiteral("root/cimv2") << ok;
    QTest::newRow("upper case") << QStringLiteral("ROOT\\CIMV2") << ok;
    QTest::newRow("mixed case") << QStringLiteral("Root/CimV2") << ok;
    QTest::newRow("other namespace") << QStringLiteral("root\\default") << refused;
    QTest::newRow("root alone") << QStringLiteral("root") << refused;
    QTest::newRow("empty") << QStringLiteral("") << refused;
    QTest::newRow("below cimv2") << QStringLiteral("root\\cimv2\\security") << refused;
    QTest::newRow("two separators") << QStringLiteral("root\\\\cimv2") << refused;
    QTest::newRow("trailing blank") << QStringLiteral("root\\cimv2 ") << refused;
    QTest::newRow("null") << QString() << qint64(WBEM_E_INVALID_PARAMETER);
}

void TestWmiCom::namespaces()
{
    QFETCH(QString, name);
    QFETCH(qint64, expected);
    IWbemLocator *locator = nullptr;
    QCOMPARE(CoCreateInstance(
                 CLSID_WbemAdministrativeLocator, nullptr, 5, IID_IWbemLocator, reinterpret_cast<void **>(&locator)),
        S_OK);
    QVERIFY(locator);
    IWbemServices *services = reinterpret_cast<IWbemServices *>(this); // must be overwritten
    CBstr ns(name);
    QCOMPARE(qint64(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)), expected);
    QVERIFY(services != reinterpret_cast<IWbemServices *>(this));
    QCOMPARE(services != nullptr, expected == WBEM_S_NO_ERROR);
    release(services);
    locator->Release();
}

void TestWmiCom::queries_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("query");
    QTest::addColumn<qint64>("expected");
    const qint64 ok = WBEM_S_NO_ERROR;
    const qint64 bad = qint64(WBEM_E_INVALID_QUERY);
    QTest::newRow("plain") << "WQL"
                           << "select * from Win32_Processor" << ok;
    QTest::newRow("language in small letters") << "wql"
                                               << "select * from Win32_Processor" << ok;
    QTest::newRow("keywords in capitals") << "WQL"
                                          << "SELECT * FROM Win32_Processor" << ok;
    QTest::newRow("class in other case") << "WQL"
                                         << "Select * From WIN32_PROCESSOR" << ok;
    QTest::newRow("free whitespace") << "WQL"
                                     << "  select\t*\n from   Win32_Processor \r\n"
                                     << ok;
    QTest::newRow("no blanks around star") << "WQL"
                                           << "select*from Win32_Processor" << ok;
    QTest::newRow("other language") << "SQL"
                                    << "select * from Win32_Processor" << qint64(WBEM_E_INVALID_QUERY_TYPE);
    QTest::newRow("empty language") << ""
                                    << "select * from Win32_Processor" << qint64(WBEM_E_INVALID_QUERY_TYPE);
    QTest::newRow("property list") << "WQL"
                                   << "select Name from Win32_Processor" << bad;
    QTest::newRow("where clause") << "WQL"
                                  << "select * from Win32_Processor where Name = 'x'" << bad;
    QTest::newRow("no class") << "WQL"
                              << "select * from" << bad;
    QTest::newRow("class glued to from") << "WQL"
                                         << "select * fromWin32_Processor" << bad;
    QTest::newRow("two classes") << "WQL"
                                 << "select * from Win32_Processor Win32_BIOS" << bad;
    QTest::newRow("other statement") << "WQL"
                                     << "delete from Win32_Processor" << bad;
    QTest::newRow("association") << "WQL"
                                 << "associators of {Win32_Processor}" << bad;
    QTest::newRow("empty") << "WQL"
                           << "" << bad;
    QTest::newRow("semicolon") << "WQL"
                               << "select * from Win32_Processor;" << bad;
}

void TestWmiCom::queries()
{
    QFETCH(QString, language);
    QFETCH(QString, query);
    QFETCH(qint64, expected);
    IWbemServices *services = connect();
    QVERIFY(services);
    CBstr lang(language);
    CBstr text(query);
    IEnumWbemClassObject *objects = reinterpret_cast<IEnumWbemClassObject *>(this); // must be overwritten
    QCOMPARE(qint64(services->ExecQuery(lang, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects)), expected);
    QVERIFY(objects != reinterpret_cast<IEnumWbemClassObject *>(this));
    QCOMPARE(objects != nullptr, expected == WBEM_S_NO_ERROR);
    if (objects) {
        // An accepted query is answered with the fixture's two processors.
        IWbemClassObject *object[3] = {nullptr, nullptr, nullptr};
        ULONG returned = 0;
        QCOMPARE(objects->Next(WBEM_INFINITE, 3, object, &returned), WBEM_S_FALSE);
        QCOMPARE(returned, 2u);
        release(object[0]);
        release(object[1]);
    }
    release(objects);
    services->Release();
}

void TestWmiCom::unknownClass()
{
    IWbemServices *services = connect();
    QVERIFY(services);
    CBstr lang(QStringLiteral("WQL"));
    CBstr text(QStringLiteral("select * from Win32_NoSuchClass"));
    // Asked to return at once, the refusal comes with the first fetch.
    IEnumWbemClassObject *objects = nullptr;
    QCOMPARE(services->ExecQuery(lang, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects), WBEM_S_NO_ERROR);
    QVERIFY(objects);
    IWbemClassObject *object = nullptr;
    ULONG returned = 7;
    QCOMPARE(objects->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_E_INVALID_CLASS);
    QCOMPARE(returned, 0u);
    QVERIFY(!object);
    release(objects);
    // A synchronous query is refused by ExecQuery itself.
    QCOMPARE(services->ExecQuery(lang, text, 0, nullptr, &objects), WBEM_E_INVALID_CLASS);
    QVERIFY(!objects);
    services->Release();
    QCOMPARE(run(QStringLiteral("select * from Win32_NoSuchClass")), QString());
}

void TestWmiCom::enumerationOrderAndEnd()
{
    IWbemServices *services = connect();
    QVERIFY(services);
    CBstr lang(QStringLiteral("WQL"));
    CBstr text(QStringLiteral("select * from Win32_Processor"));
    IEnumWbemClassObject *objects = nullptr;
    QCOMPARE(services->ExecQuery(lang, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects), WBEM_S_NO_ERROR);
    QVERIFY(objects);
    // Packages come in the order of their ids, whatever order cpuinfo lists them in.
    const QStringList expected {QStringLiteral("Alpha CPU @ 2.00GHz"), QStringLiteral("Beta CPU @ 3.00GHz")};
    for (const QString &name : expected) {
        IWbemClassObject *object = nullptr;
        ULONG returned = 0;
        QCOMPARE(objects->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_NO_ERROR);
        QCOMPARE(returned, 1u);
        VARIANT value;
        VariantInit(&value);
        QCOMPARE(object->Get(u"Name", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
        QCOMPARE(value.vt, VARTYPE(VT_BSTR));
        QCOMPARE(QString::fromUtf16(value.bstrVal), name);
        VariantClear(&value);
        release(object);
    }
    for (int i = 0; i < 2; ++i) {
        IWbemClassObject *object = nullptr;
        ULONG returned = 9;
        QCOMPARE(objects->Next(1000, 1, &object, &returned), WBEM_S_FALSE);
        QCOMPARE(returned, 0u);
    }
    QCOMPARE(objects->Reset(), WBEM_S_NO_ERROR);
    IWbemClassObject *object = nullptr;
    ULONG returned = 0;
    QCOMPARE(objects->Next(0, 1, &object, &returned), WBEM_S_NO_ERROR);
    release(object);
    QCOMPARE(objects->Next(-5, 1, &object, &returned), WBEM_E_INVALID_PARAMETER);
    release(objects);
    services->Release();
}

void TestWmiCom::valueTypes()
{
    IWbemServices *services = connect();
    QVERIFY(services);
    CBstr lang(QStringLiteral("WQL"));
    CBstr text(QStringLiteral("select * from Win32_DiskDrive"));
    IEnumWbemClassObject *objects = nullptr;
    QCOMPARE(services->ExecQuery(lang, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects), WBEM_S_NO_ERROR);
    IWbemClassObject *object = nullptr;
    ULONG returned = 0;
    QCOMPARE(objects->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_NO_ERROR);

    const QStringList n = names(object);
    QCOMPARE(n.first(), QStringLiteral("BytesPerSector"));
    QVERIFY(n.contains(QStringLiteral("Size")));
    QVERIFY(n.indexOf(QStringLiteral("Caption")) < n.indexOf(QStringLiteral("Size")));

    struct Case
    {
        const char16_t *name;
        VARTYPE vt;
        CIMTYPE cim;
        const char *text; // null: the value does not convert
    };
    const Case cases[] = {
        {u"Size", VT_BSTR, CIM_UINT64, "1024000000000"}, // uint64 as decimal text, as WMI does
        {u"size", VT_BSTR, CIM_UINT64, "1024000000000"}, // names are matched in any case
        {u"Partitions", VT_I4, CIM_SINT32, "0"},
        {u"MediaLoaded", VT_BOOL, CIM_BOOLEAN, "True"},
        {u"Caption", VT_BSTR, CIM_STRING, "Virtio Block Device"},
        {u"SerialNumber", VT_NULL, CIM_EMPTY, nullptr},
    };
    for (const Case &c : cases) {
        VARIANT value;
        VariantInit(&value);
        CIMTYPE type = -1;
        QCOMPARE(object->Get(reinterpret_cast<LPCOLESTR>(c.name), 0, &value, &type, nullptr), WBEM_S_NO_ERROR);
        QCOMPARE(value.vt, c.vt);
        QCOMPARE(type, c.cim);
        QString t;
        QCOMPARE(valueText(value, &t), c.text != nullptr);
        if (c.text)
            QCOMPARE(t, QString::fromLatin1(c.text));
        VariantClear(&value);
    }
    VARIANT value;
    VariantInit(&value);
    QCOMPARE(object->Get(u"NoSuchProperty", 0, &value, nullptr, nullptr), WBEM_E_NOT_FOUND);
    QCOMPARE(value.vt, VARTYPE(VT_EMPTY));
    QCOMPARE(object->Get(u"Size", 0, nullptr, nullptr, nullptr), WBEM_S_NO_ERROR);

    // Only system properties: these objects have none.
    SAFEARRAY *array = nullptr;
    QCOMPARE(object->GetNames(nullptr, WBEM_FLAG_SYSTEM_ONLY, nullptr, &array), WBEM_S_NO_ERROR);
    LONG upper = 0;
    SafeArrayGetUBound(array, 1, &upper);
    QCOMPARE(upper, -1);
    SafeArrayDestroy(array);
    QCOMPARE(object->GetNames(nullptr, WBEM_FLAG_ALWAYS, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);

    release(object);
    release(objects);
    services->Release();
}

void TestWmiCom::deviceObjectText()
{
    // The Device object keeps a fixed list of names; the null serial number gives no line.
    const QStringList kept {"Caption", "Capacity", "Signature", "Description", "Name", "Manufacturer", "SerialNumber",
        "SocketDesignation", "Version", "Partitions", "Size", "VideoModeDescription"};
    QCOMPARE(run(QStringLiteral("select * from Win32_DiskDrive"), kept),
        QStringLiteral("Caption=Virtio Block Device\nDescription=Disk drive\nManufacturer=(Standard disk drives)\n"
                       "Name=\\\\.\\PHYSICALDRIVE0\nPartitions=0\nSize=1024000000000\n"
                       "^Caption=Virtio Block Device\nDescription=Disk drive\nManufacturer=(Standard disk drives)\n"
                       "Name=\\\\.\\PHYSICALDRIVE1\nPartitions=0\nSize=10240\n"));
}

void TestWmiCom::rootIsReadWhenTheQueryRuns()
{
    IWbemServices *services = connect();
    QVERIFY(services);
    qputenv("BRAMIX_WMI_ROOT", QFile::encodeName(m_emptyRoot.path()));
    CBstr lang(QStringLiteral("WQL"));
    CBstr text(QStringLiteral("select * from Win32_Processor"));
    IEnumWbemClassObject *objects = nullptr;
    const HRESULT hr = services->ExecQuery(lang, text, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &objects);
    qputenv("BRAMIX_WMI_ROOT", QFile::encodeName(m_fixture.path()));
    QCOMPARE(hr, WBEM_S_NO_ERROR);
    // Changing the root afterwards does not change what the enumeration holds.
    IWbemClassObject *object = nullptr;
    ULONG returned = 5;
    QCOMPARE(objects->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_FALSE);
    QCOMPARE(returned, 0u);
    release(objects);
    services->Release();
}

void TestWmiCom::libraryExports()
{
    QLibrary library(CTestEnvironment::stagedFile(QStringLiteral("libbramixwmi.so")));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    typedef HRESULT (*GetClassObject)(REFCLSID, REFIID, void **);
    typedef HRESULT (*CanUnloadNow)();
    auto getClassObject = reinterpret_cast<GetClassObject>(library.resolve("DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(library.resolve("DllCanUnloadNow"));
    QVERIFY(getClassObject && canUnloadNow);
    QCOMPARE(canUnloadNow(), S_OK);

    void *p = reinterpret_cast<void *>(this);
    QCOMPARE(getClassObject(IID_IWbemLocator, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    QVERIFY(!p);
    IClassFactory *factory = nullptr;
    QCOMPARE(
        getClassObject(CLSID_WbemAdministrativeLocator, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    QVERIFY(factory);
    QCOMPARE(canUnloadNow(), S_FALSE);
    IWbemServices *wrong = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IWbemServices, reinterpret_cast<void **>(&wrong)), E_NOINTERFACE);
    IWbemLocator *locator = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IWbemLocator, reinterpret_cast<void **>(&locator)), S_OK);
    factory->LockServer(COM_TRUE);
    release(factory);
    QCOMPARE(canUnloadNow(), S_FALSE);
    release(locator);
    QCOMPARE(canUnloadNow(), S_FALSE); // still locked
    // LockServer was called on a factory that is gone; the lock still counts, as in COM.
    IClassFactory *again = nullptr;
    QCOMPARE(
        getClassObject(CLSID_WbemAdministrativeLocator, IID_IClassFactory, reinterpret_cast<void **>(&again)), S_OK);
    again->LockServer(COM_FALSE);
    release(again);
    QCOMPARE(canUnloadNow(), S_OK);
}

void TestWmiCom::liveMachineShape()
{
    const QByteArray saved = qgetenv("BRAMIX_WMI_ROOT");
    qunsetenv("BRAMIX_WMI_ROOT");
    const QStringList classes {"Win32_Processor", "Win32_BaseBoard", "Win32_DiskDrive", "Win32_VideoController",
        "Win32_NetworkAdapter", "Win32_BIOS", "Win32_CDROMDrive", "Win32_DesktopMonitor", "Win32_PhysicalMemory",
        "Win32_Printer", "Win32_SoundDevice", "Win32_Product", "Win32_OperatingSystem"};
    QMap<QString, QString> results;
    for (const QString &c : classes)
        results.insert(c, run(QStringLiteral("select * from ") + c));
    qputenv("BRAMIX_WMI_ROOT", saved);
    for (auto it = results.cbegin(); it != results.cend(); ++it)
        QVERIFY2(it.value() != QLatin1String("<refused>") && it.value() != QLatin1String("<no connection>"),
            qPrintable(it.key()));
    // Every machine has a processor with a name and a memory size in bytes.
    QVERIFY(QRegularExpression(QStringLiteral("(^|\n)Name=.+\n")).match(results.value("Win32_Processor")).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("(^|\n)Capacity=[1-9][0-9]*\n"))
                .match(results.value("Win32_PhysicalMemory"))
                .hasMatch());
    // Every line of every object is "name=value".
    for (const QString &text : results)
        for (const QString &part : text.split(QLatin1Char('^')))
            for (const QString &line : part.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*=")).match(line).hasMatch(),
                    qPrintable(line));
}

QTEST_GUILESS_MAIN(TestWmiCom)
#include "tst_wmicom.moc"
