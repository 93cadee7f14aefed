// The Inquix module: the class factory handed out by DllGetClassObject, the lock count behind
// DllCanUnloadNow, and registration and removal in the class registry.

#include "cclassregistry.h"
#include "cinquixharness.h"
#include "ctestenvironment.h"
#include "inquix_i.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <atomic>
#include <dlfcn.h>
#include <thread>
#include <vector>

namespace {

const QString kClassKey = QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}");
const QString kAppIdKey = QStringLiteral("AppID\\{91625F50-D5D6-4251-AF2D-AC409146225D}");
const QString kTypeLibKey = QStringLiteral("TypeLib\\{F15C2301-7507-4C15-A2F5-777F134E92A9}");
const QString kInterfaceKey = QStringLiteral("Interface\\{28211449-F0EF-4A6A-906F-CCAA1A10DA56}");

typedef HRESULT (*GetClassObjectFunction)(REFCLSID, REFIID, void **);

QByteArray registryJson()
{
    CRegistryTree tree;
    if (CClassRegistry().load(&tree) != CClassRegistry::Ok)
        return QByteArray("unreadable");
    return tree.toJson();
}

} // namespace

class TestInquixModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void otherClassNotAvailable_data();
    void otherClassNotAvailable();
    void classFactory();
    void classFactoryOnceAcrossThreads();
    void canUnloadNow();
    void canUnloadNowThroughActivation();
    void registerWritesKeys_data();
    void registerWritesKeys();
    void registerTwiceOneSetOfKeys();
    void removalLeavesSharedKeys();
    void failedTypeLibRemovalKeepsAppId();
    void localeRestored();
    void localeRestoredOnFailure();

    void cleanupTestCase();

private:
    CTestEnvironment m_env;
    void *m_inquix = nullptr;
    GetClassObjectFunction m_getClassObject = nullptr;
};

void TestInquixModule::initTestCase()
{
    QVERIFY(m_env.isValid());
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    m_inquix = CInquixHarness::openLibrary(CInquixHarness::inquixPath());
    QVERIFY(m_inquix);
    m_getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(m_inquix, "DllGetClassObject"));
    QVERIFY(m_getClassObject);
    QVERIFY(dlsym(m_inquix, "DllCanUnloadNow"));
    QVERIFY(dlsym(m_inquix, "DllRegisterServer"));
    QVERIFY(dlsym(m_inquix, "DllUnregisterServer"));
    // Nothing but the entry points is visible.
    QVERIFY(!dlsym(m_inquix, "_Z12inquixModulev"));
}

void TestInquixModule::init()
{
    QFile::remove(CClassRegistry::defaultFilePath());
}

void TestInquixModule::cleanupTestCase()
{
    CoUninitialize();
}

void TestInquixModule::otherClassNotAvailable_data()
{
    QTest::addColumn<QString>("clsid");
    QTest::newRow("null") << "{00000000-0000-0000-0000-000000000000}";
    QTest::newRow("locator") << "{CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}";
    QTest::newRow("interface identifier") << "{28211449-F0EF-4A6A-906F-CCAA1A10DA56}";
    QTest::newRow("library identifier") << "{F15C2301-7507-4C15-A2F5-777F134E92A9}";
    QTest::newRow("one bit off") << "{D1CA6332-0E8E-41E3-853C-703C03EA05A5}";
}

void TestInquixModule::otherClassNotAvailable()
{
    QFETCH(QString, clsid);
    CLSID other;
    QCOMPARE(CLSIDFromString(reinterpret_cast<LPCOLESTR>(clsid.utf16()), &other), S_OK);
    void *out = reinterpret_cast<void *>(1);
    QCOMPARE(m_getClassObject(other, IID_IClassFactory, &out), HRESULT(CLASS_E_CLASSNOTAVAILABLE));
    QCOMPARE(out, nullptr);
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
}

void TestInquixModule::classFactory()
{
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IClassFactory, nullptr), HRESULT(E_POINTER));
    void *out = reinterpret_cast<void *>(1);
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IDispatch, &out), HRESULT(E_NOINTERFACE));
    QCOMPARE(out, nullptr);

    IClassFactory *first = nullptr;
    IClassFactory *second = nullptr;
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IClassFactory, reinterpret_cast<void **>(&first)), S_OK);
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IUnknown, reinterpret_cast<void **>(&second)), S_OK);
    QCOMPARE(first, second); // made once, kept by the module
    second->Release();

    IDevice *device = nullptr;
    QCOMPARE(first->CreateInstance(nullptr, IID_IDevice, reinterpret_cast<void **>(&device)), S_OK);
    QVERIFY(device);
    IDevice *other = nullptr;
    QCOMPARE(first->CreateInstance(nullptr, IID_IDevice, reinterpret_cast<void **>(&other)), S_OK);
    QVERIFY(other != device); // a new object per request
    other->Release();
    device->Release();
    out = reinterpret_cast<void *>(1);
    QCOMPARE(first->CreateInstance(nullptr, IID_IClassFactory, &out), HRESULT(E_NOINTERFACE));
    QCOMPARE(out, nullptr);
    first->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
}

void TestInquixModule::classFactoryOnceAcrossThreads()
{
    // Threads asking at the same moment all get the one factory, and every reference counts.
    const int count = 8;
    std::vector<IClassFactory *> factories(count, nullptr);
    std::atomic<int> ready(0);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < count) { }
            m_getClassObject(CLSID_Device, IID_IClassFactory, reinterpret_cast<void **>(&factories[size_t(i)]));
        });
    for (std::thread &t : threads)
        t.join();
    for (IClassFactory *f : factories)
        QCOMPARE(f, factories[0]);
    QVERIFY(factories[0]);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE);
        factories[size_t(i)]->Release();
    }
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
}

void TestInquixModule::canUnloadNow()
{
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
    IClassFactory *factory = nullptr;
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE); // a held factory
    IDevice *device = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IDevice, reinterpret_cast<void **>(&device)), S_OK);
    factory->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE); // a live object
    device->AddRef();
    device->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE);
    device->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);

    QCOMPARE(m_getClassObject(CLSID_Device, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    QCOMPARE(factory->LockServer(COM_TRUE), S_OK);
    factory->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE); // a server lock
    QCOMPARE(m_getClassObject(CLSID_Device, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    QCOMPARE(factory->LockServer(COM_FALSE), S_OK);
    factory->Release();
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
}

void TestInquixModule::canUnloadNowThroughActivation()
{
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    IDispatch *dispatch = nullptr;
    QCOMPARE(CoCreateInstance(
                 CLSID_Device, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void **>(&dispatch)),
        S_OK);
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_FALSE);
    QCOMPARE(dispatch->Release(), ULONG(0));
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllCanUnloadNow"), S_OK);
}

void TestInquixModule::registerWritesKeys_data()
{
    const QString module = QFileInfo(CInquixHarness::inquixPath()).canonicalFilePath();
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("AppID") << kAppIdKey << QString() << "Inquix";
    QTest::newRow("AppID of the DLL") << "AppID\\Inquix.DLL"
                                      << "AppID"
                                      << "{91625F50-D5D6-4251-AF2D-AC409146225D}";
    QTest::newRow("ProgID") << "Inquix.Device.1" << QString() << "Device Class";
    QTest::newRow("ProgID class") << "Inquix.Device.1\\CLSID" << QString() << "{D1CA6332-0E8E-41E3-853C-703C03EA05A4}";
    QTest::newRow("independent ProgID") << "Inquix.Device" << QString() << "Device Class";
    QTest::newRow("independent ProgID class")
        << "Inquix.Device\\CLSID" << QString() << "{D1CA6332-0E8E-41E3-853C-703C03EA05A4}";
    QTest::newRow("CurVer") << "Inquix.Device\\CurVer" << QString() << "Inquix.Device.1";
    QTest::newRow("class") << kClassKey << QString() << "Device Class";
    QTest::newRow("class ProgID") << kClassKey + "\\ProgID" << QString() << "Inquix.Device.1";
    QTest::newRow("class independent ProgID")
        << kClassKey + "\\VersionIndependentProgID" << QString() << "Inquix.Device";
    QTest::newRow("Programmable") << kClassKey + "\\Programmable"
                                  << "#key" << QString();
    QTest::newRow("InprocServer32") << kClassKey + "\\InprocServer32" << QString() << module;
    QTest::newRow("ThreadingModel") << kClassKey + "\\InprocServer32"
                                    << "ThreadingModel"
                                    << "Apartment";
    QTest::newRow("class AppID") << kClassKey << "AppID"
                                 << "{91625F50-D5D6-4251-AF2D-AC409146225D}";
    QTest::newRow("class TypeLib") << kClassKey + "\\TypeLib" << QString() << "{F15C2301-7507-4C15-A2F5-777F134E92A9}";
    QTest::newRow("type library") << kTypeLibKey + "\\1.0"
                                  << "Name"
                                  << "InquixLib";
    QTest::newRow("type library path") << kTypeLibKey + "\\1.0\\409\\win64" << QString() << module;
    QTest::newRow("interface") << kInterfaceKey << QString() << "IDevice";
}

void TestInquixModule::registerWritesKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    CClassRegistry registry;
    QVERIFY2(registry.keyExists(key), qPrintable(key));
    if (name != QLatin1String("#key"))
        QCOMPARE(registry.value(key, name), value);
}

void TestInquixModule::registerTwiceOneSetOfKeys()
{
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    const QByteArray once = registryJson();
    CClassRegistry registry;
    // Leftovers of an older registration below the class key go; the rest is overwritten.
    QVERIFY(registry.setValue(kClassKey + "\\LocalServer32", QString(), QStringLiteral("/old/server")));
    QVERIFY(registry.setValue(kClassKey, QStringLiteral("Stale"), QStringLiteral("x")));
    QVERIFY(registry.setValue(QStringLiteral("Inquix.Device.1\\CLSID"), QString(), QStringLiteral("{wrong}")));
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    QCOMPARE(registryJson(), once);
    QCOMPARE(registry.subKeys(kClassKey).size(), 5);
    QCOMPARE(registry.subKeys(QStringLiteral("Inquix.Device")).size(), 2);
}

void TestInquixModule::removalLeavesSharedKeys()
{
    CClassRegistry registry;
    // Another server's entries beside ours.
    QVERIFY(registry.setValue(
        QStringLiteral("CLSID\\{11111111-2222-3333-4444-555555555555}"), QString(), QStringLiteral("Other")));
    QVERIFY(registry.setValue(QStringLiteral("AppID\\Other.DLL"), QStringLiteral("AppID"), QStringLiteral("{x}")));
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    QVERIFY(registry.keyExists(kClassKey));
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllUnregisterServer"), S_OK);

    QVERIFY(registry.keyExists(QStringLiteral("AppID")));
    QVERIFY(registry.keyExists(QStringLiteral("CLSID")));
    QVERIFY(registry.keyExists(QStringLiteral("CLSID\\{11111111-2222-3333-4444-555555555555}")));
    QVERIFY(registry.keyExists(QStringLiteral("AppID\\Other.DLL")));
    for (const QString &gone : {kClassKey, kAppIdKey, QStringLiteral("AppID\\Inquix.DLL"),
             QStringLiteral("Inquix.Device.1"), QStringLiteral("Inquix.Device"), kTypeLibKey, kInterfaceKey})
        QVERIFY2(!registry.keyExists(gone), qPrintable(gone));
    // The class can no longer be found by its ProgID.
    CLSID clsid;
    QVERIFY(FAILED(CLSIDFromProgID(u"Inquix.Device.1", &clsid)));
}

void TestInquixModule::failedTypeLibRemovalKeepsAppId()
{
    QCOMPARE(CInquixHarness::callExport(m_inquix, "DllRegisterServer"), S_OK);
    QCOMPARE(UnRegisterTypeLib(LIBID_InquixLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    QVERIFY(FAILED(CInquixHarness::callExport(m_inquix, "DllUnregisterServer")));
    CClassRegistry registry;
    QVERIFY(!registry.keyExists(kClassKey));
    QVERIFY(!registry.keyExists(QStringLiteral("Inquix.Device.1")));
    // The steps after the failed one did not run.
    QVERIFY(registry.keyExists(kAppIdKey));
    QVERIFY(registry.keyExists(QStringLiteral("AppID\\Inquix.DLL")));
}

void TestInquixModule::localeRestored()
{
    const LCID saved = GetThreadLocale();
    QVERIFY(SetThreadLocale(0x411));
    const HRESULT registered = CInquixHarness::callExport(m_inquix, "DllRegisterServer");
    const LCID afterRegister = GetThreadLocale();
    const HRESULT removed = CInquixHarness::callExport(m_inquix, "DllUnregisterServer");
    const LCID afterRemove = GetThreadLocale();
    SetThreadLocale(saved);
    QCOMPARE(registered, S_OK);
    QCOMPARE(removed, S_OK);
    QCOMPARE(afterRegister, LCID(0x411));
    QCOMPARE(afterRemove, LCID(0x411));
}

void TestInquixModule::localeRestoredOnFailure()
{
    // A registry that cannot be written: its directory would have to lie below a plain file.
    const QString blocker = m_env.filePath(QStringLiteral("blocker"));
    QVERIFY(CTestEnvironment::writeFile(blocker, "not a directory"));
    const QByteArray savedRoot = qgetenv("BRAMIX_PLATFORM_ROOT");
    qputenv("BRAMIX_PLATFORM_ROOT", QFile::encodeName(blocker + QStringLiteral("/platform")));
    const LCID saved = GetThreadLocale();
    SetThreadLocale(0x411);
    const HRESULT registered = CInquixHarness::callExport(m_inquix, "DllRegisterServer");
    const LCID afterRegister = GetThreadLocale();
    const HRESULT removed = CInquixHarness::callExport(m_inquix, "DllUnregisterServer");
    const LCID afterRemove = GetThreadLocale();
    SetThreadLocale(saved);
    qputenv("BRAMIX_PLATFORM_ROOT", savedRoot);
    QVERIFY(FAILED(registered));
    QVERIFY(FAILED(removed));
    QCOMPARE(afterRegister, LCID(0x411));
    QCOMPARE(afterRemove, LCID(0x411));
}

QTEST_GUILESS_MAIN(TestInquixModule)
#include "tst_inquixmodule.moc"
