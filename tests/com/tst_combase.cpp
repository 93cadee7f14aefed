#include "cclassregistry.h"
#include "ccomtext.h"
#include "cinproclibrarytable.h"
#include "combase.h"
#include "ctestenvironment.h"
#include "testcomserver.h"

#include <QFileInfo>
#include <QTest>

#include <dlfcn.h>
#include <memory>
#include <thread>

namespace {

QString text(BSTR s)
{
    return CComText::fromBstr(s);
}

// Runs f in a thread of its own, which starts without an apartment.
template<typename F> void inFreshThread(F f)
{
    std::thread t(f);
    t.join();
}

bool isLoadedByLoader(const QString &path)
{
    void *h = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!h)
        return false;
    ::dlclose(h);
    return true;
}

// Counts references so tests see what copies and clears do to interface pointers.
class CCountedUnknown : public IUnknown
{
public:
    HRESULT QueryInterface(REFIID, void **ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

void registerFixture(const QString &libraryPath)
{
    CClassRegistry reg;
    const QString key = QStringLiteral("CLSID\\" TESTCALC_CLSID_TEXT);
    QVERIFY(reg.setValue(key, QString(), QStringLiteral("Test Calculator")));
    QVERIFY(reg.setValue(key + QStringLiteral("\\InprocServer32"), QString(), libraryPath));
    QVERIFY(reg.setValue(QStringLiteral("BramixTest.Calc.1\\CLSID"), QString(), QStringLiteral(TESTCALC_CLSID_TEXT)));
}

} // namespace

Q_DECLARE_METATYPE(GUID)

class TestComBase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void guidText_data();
    void guidText();
    void guidTextRefused_data();
    void guidTextRefused();
    void stringFromGuidBuffer();

    void bstr();

    void variantToText_data();
    void variantToText();
    void variantToTextInPlace();
    void variantCopyAndClear();

    void safeArray();

    void apartments();
    void activationNeedsApartment();
    void securityOnlyOnce();
    void threadLocale();

    void progId_data();
    void progId();

    void createInstance();
    void createInstanceFailures_data();
    void createInstanceFailures();
    void unloadWhenServerAllows();
    void wmiLocatorBuiltIn();

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

void TestComBase::initTestCase()
{
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void TestComBase::init()
{
    m_env = std::make_unique<CTestEnvironment>();
    QVERIFY(m_env->isValid());
}

void TestComBase::cleanup()
{
    CoFreeUnusedLibraries();
    m_env.reset();
}

void TestComBase::cleanupTestCase()
{
    CoUninitialize();
}

void TestComBase::guidText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("canonical");
    QTest::newRow("upper") << "{CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}"
                           << "{CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}";
    QTest::newRow("lower") << "{d1ca6332-0e8e-41e3-853c-703c03ea05a4}"
                           << "{D1CA6332-0E8E-41E3-853C-703C03EA05A4}";
    QTest::newRow("zero") << "{00000000-0000-0000-0000-000000000000}"
                          << "{00000000-0000-0000-0000-000000000000}";
    QTest::newRow("IDispatch") << "{00020400-0000-0000-C000-000000000046}"
                               << "{00020400-0000-0000-C000-000000000046}";
}

void TestComBase::guidText()
{
    QFETCH(QString, input);
    QFETCH(QString, canonical);
    CLSID clsid;
    QCOMPARE(CLSIDFromString(reinterpret_cast<LPCOLESTR>(input.utf16()), &clsid), S_OK);
    OLECHAR buf[39];
    QCOMPARE(StringFromGUID2(clsid, buf, 39), 39);
    QCOMPARE(QString::fromUtf16(buf), canonical);
    IID iid;
    QCOMPARE(IIDFromString(reinterpret_cast<LPCOLESTR>(input.utf16()), &iid), S_OK);
    QVERIFY(iid == clsid);
}

void TestComBase::guidTextRefused_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("no braces") << "CB8555CC-9128-11D1-AD9B-00C04FD8FDFF";
    QTest::newRow("short") << "{CB8555CC-9128-11D1-AD9B-00C04FD8FDF}";
    QTest::newRow("long") << "{CB8555CC-9128-11D1-AD9B-00C04FD8FDFF0}";
    QTest::newRow("bad digit") << "{CB8555CG-9128-11D1-AD9B-00C04FD8FDFF}";
    QTest::newRow("dash moved") << "{CB8555CC9-128-11D1-AD9B-00C04FD8FDFF}";
    QTest::newRow("progid") << "Inquix.Device.1";
    QTest::newRow("empty") << "";
}

void TestComBase::guidTextRefused()
{
    QFETCH(QString, input);
    CLSID clsid = IID_IDispatch;
    QCOMPARE(CLSIDFromString(reinterpret_cast<LPCOLESTR>(input.utf16()), &clsid), CO_E_CLASSSTRING);
    QVERIFY(clsid == IID_IDispatch); // untouched
    IID iid;
    QCOMPARE(IIDFromString(reinterpret_cast<LPCOLESTR>(input.utf16()), &iid), E_INVALIDARG);
}

void TestComBase::stringFromGuidBuffer()
{
    OLECHAR buf[39];
    QCOMPARE(StringFromGUID2(IID_IUnknown, buf, 38), 0);
    QCOMPARE(StringFromGUID2(IID_IUnknown, nullptr, 39), 0);
}

void TestComBase::bstr()
{
    BSTR s = SysAllocString(u"Inquix");
    QVERIFY(s);
    QCOMPARE(SysStringLen(s), 6u);
    QCOMPARE(s[6], OLECHAR(0));
    QCOMPARE(reinterpret_cast<const uint32_t *>(s)[-1], 12u); // byte length before the text
    SysFreeString(s);

    const OLECHAR withNul[] = {u'a', 0, u'b'};
    s = SysAllocStringLen(withNul, 3);
    QCOMPARE(SysStringLen(s), 3u);
    QCOMPARE(text(s), QString::fromUtf16(withNul, 3));
    SysFreeString(s);

    s = SysAllocStringLen(nullptr, 4);
    QCOMPARE(SysStringLen(s), 4u);
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(s[i], OLECHAR(0));
    SysFreeString(s);

    s = SysAllocString(u"");
    QVERIFY(s);
    QCOMPARE(SysStringLen(s), 0u);
    SysFreeString(s);

    QVERIFY(!SysAllocString(nullptr));
    QCOMPARE(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

void TestComBase::variantToText_data()
{
    QTest::addColumn<int>("vt");
    QTest::addColumn<qlonglong>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<int>("hr");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, int vt, qlonglong i, double d, HRESULT hr, const char *expected) {
        QTest::newRow(name) << vt << i << d << int(hr) << QString::fromLatin1(expected);
    };
    row("I4 negative", VT_I4, -42, 0, S_OK, "-42");
    row("I2", VT_I2, -32768, 0, S_OK, "-32768");
    row("I1", VT_I1, -5, 0, S_OK, "-5");
    row("UI1", VT_UI1, 255, 0, S_OK, "255");
    row("UI4 max", VT_UI4, 4294967295LL, 0, S_OK, "4294967295");
    row("I8 min", VT_I8, std::numeric_limits<qlonglong>::min(), 0, S_OK, "-9223372036854775808");
    row("UI8 max", VT_UI8, -1, 0, S_OK, "18446744073709551615");
    row("INT", VT_INT, 7, 0, S_OK, "7");
    row("R8 tenth", VT_R8, 0, 0.1, S_OK, "0.1");
    row("R8 whole", VT_R8, 0, 3000, S_OK, "3000");
    row("R8 negative", VT_R8, 0, -2.5, S_OK, "-2.5");
    row("R8 large", VT_R8, 0, 1e20, S_OK, "1e+20");
    row("R8 small", VT_R8, 0, 1.5e-7, S_OK, "1.5e-07");
    row("R4 tenth", VT_R4, 0, 0.1, S_OK, "0.1");
    row("CY", VT_CY, 125000, 0, S_OK, "12.5");
    row("CY negative", VT_CY, -1, 0, S_OK, "-0.0001");
    row("BOOL true", VT_BOOL, -1, 0, S_OK, "True");
    row("BOOL false", VT_BOOL, 0, 0, S_OK, "False");
    row("DATE epoch", VT_DATE, 0, 0, S_OK, "1899-12-30 00:00:00");
    row("DATE noon", VT_DATE, 0, 45000.5, S_OK, "2023-03-15 12:00:00");
    row("DATE negative", VT_DATE, 0, -1.25, S_OK, "1899-12-29 06:00:00");
    row("DATE rounds to next day", VT_DATE, 0, 0.9999999999, S_OK, "1899-12-31 00:00:00");
    row("DATE out of range", VT_DATE, 0, 1e9, DISP_E_OVERFLOW, "");
    row("NULL refused", VT_NULL, 0, 0, DISP_E_TYPEMISMATCH, "");
    row("EMPTY refused", VT_EMPTY, 0, 0, DISP_E_TYPEMISMATCH, "");
    row("ERROR refused", VT_ERROR, 0, 0, DISP_E_TYPEMISMATCH, "");
    row("bad type", 0x0FFF, 0, 0, DISP_E_BADVARTYPE, "");
}

void TestComBase::variantToText()
{
    QFETCH(int, vt);
    QFETCH(qlonglong, integer);
    QFETCH(double, real);
    QFETCH(int, hr);
    QFETCH(QString, expected);

    VARIANT src;
    VariantInit(&src);
    src.vt = VARTYPE(vt);
    switch (vt) {
    case VT_R8:
    case VT_DATE:
        src.dblVal = real;
        break;
    case VT_R4:
        src.fltVal = float(real);
        break;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
        src.lVal = LONG(integer);
        break;
    case VT_I2:
    case VT_BOOL:
        src.iVal = SHORT(integer);
        break;
    case VT_I1:
    case VT_UI1:
        src.cVal = CHAR(integer);
        break;
    default:
        src.llVal = integer;
    }
    VARIANT dest;
    VariantInit(&dest);
    QCOMPARE(VariantChangeType(&dest, &src, 0, VT_BSTR), HRESULT(hr));
    if (hr == S_OK) {
        QCOMPARE(dest.vt, VARTYPE(VT_BSTR));
        QCOMPARE(text(dest.bstrVal), expected);
    } else {
        QCOMPARE(dest.vt, VARTYPE(VT_EMPTY));
    }
    VariantClear(&dest);

    // The same value reached through a reference converts alike.
    if (vt != 0x0FFF && vt != VT_EMPTY && vt != VT_NULL) {
        VARIANT ref;
        VariantInit(&ref);
        ref.vt = VARTYPE(VT_BYREF | vt);
        ref.byref = &src.llVal;
        QCOMPARE(VariantChangeType(&dest, &ref, 0, VT_BSTR), HRESULT(hr));
        if (hr == S_OK)
            QCOMPARE(text(dest.bstrVal), expected);
        VariantClear(&dest);
    }
}

void TestComBase::variantToTextInPlace()
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 2210;
    QCOMPARE(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    QCOMPARE(text(v.bstrVal), QStringLiteral("2210"));
    // A BSTR converted to itself stays a valid string.
    QCOMPARE(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    QCOMPARE(text(v.bstrVal), QStringLiteral("2210"));
    VariantClear(&v);
    QCOMPARE(v.vt, VARTYPE(VT_EMPTY));
    // Only text is a conversion target.
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_I4;
    QCOMPARE(VariantChangeType(&v, &src, 0, VT_R8), DISP_E_TYPEMISMATCH);
}

void TestComBase::variantCopyAndClear()
{
    VARIANT a;
    VariantInit(&a);
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(u"row");
    VARIANT b;
    VariantInit(&b);
    b.vt = VT_I4;
    QCOMPARE(VariantCopy(&b, &a), S_OK);
    QCOMPARE(b.vt, VARTYPE(VT_BSTR));
    QVERIFY(b.bstrVal != a.bstrVal);
    QCOMPARE(text(b.bstrVal), QStringLiteral("row"));
    VariantClear(&a);
    QCOMPARE(text(b.bstrVal), QStringLiteral("row"));
    VariantClear(&b);

    CCountedUnknown unk;
    VARIANT u;
    VariantInit(&u);
    u.vt = VT_UNKNOWN;
    u.punkVal = &unk;
    VARIANT c;
    VariantInit(&c);
    QCOMPARE(VariantCopy(&c, &u), S_OK);
    QCOMPARE(unk.refs, 2u);
    VariantClear(&c);
    QCOMPARE(unk.refs, 1u);

    // A variant holding an array owns it: the copy is deep, clearing frees the strings.
    VARIANT arr;
    VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_BSTR;
    arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 1;
    BSTR name = SysAllocString(u"Name");
    QCOMPARE(SafeArrayPutElement(arr.parray, &i, name), S_OK);
    SysFreeString(name); // the array holds a copy
    VARIANT arr2;
    VariantInit(&arr2);
    QCOMPARE(VariantCopy(&arr2, &arr), S_OK);
    QVERIFY(arr2.parray != arr.parray);
    VariantClear(&arr);
    BSTR got = nullptr;
    QCOMPARE(SafeArrayGetElement(arr2.parray, &i, &got), S_OK);
    QCOMPARE(text(got), QStringLiteral("Name"));
    SysFreeString(got);
    VariantClear(&arr2);

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x0FFF;
    QCOMPARE(VariantClear(&bad), DISP_E_BADVARTYPE);
}

void TestComBase::safeArray()
{
    SAFEARRAY *psa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    QVERIFY(psa);
    LONG lower = 0, upper = 0;
    QCOMPARE(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    QCOMPARE(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    QCOMPARE(lower, 1);
    QCOMPARE(upper, 3);
    QCOMPARE(SafeArrayGetLBound(psa, 2, &lower), DISP_E_BADINDEX);

    const char16_t *names[] = {u"Caption", u"Name", u"Size"};
    // BSTR elements are passed as the string itself and copied in.
    for (LONG i = 1; i <= 3; ++i) {
        BSTR s = SysAllocString(names[i - 1]);
        QCOMPARE(SafeArrayPutElement(psa, &i, s), S_OK);
        SysFreeString(s);
    }
    LONG i = 2;
    BSTR model = SysAllocString(u"Model");
    QCOMPARE(SafeArrayPutElement(psa, &i, model), S_OK); // replaces, frees the old
    for (LONG j = 1; j <= 3; ++j) {
        BSTR s = nullptr;
        QCOMPARE(SafeArrayGetElement(psa, &j, &s), S_OK);
        QCOMPARE(text(s), j == 2 ? QStringLiteral("Model") : QString::fromUtf16(names[j - 1]));
        SysFreeString(s);
    }
    for (LONG bad : {0, 4}) {
        BSTR s = nullptr;
        QCOMPARE(SafeArrayGetElement(psa, &bad, &s), DISP_E_BADINDEX);
        QCOMPARE(SafeArrayPutElement(psa, &bad, model), DISP_E_BADINDEX);
    }
    SysFreeString(model);
    QCOMPARE(SafeArrayDestroy(psa), S_OK);

    SAFEARRAY *ints = SafeArrayCreateVector(VT_I4, 0, 2);
    LONG k = 0;
    LONG value = 77;
    QCOMPARE(SafeArrayPutElement(ints, &k, &value), S_OK);
    LONG out = 0;
    QCOMPARE(SafeArrayGetElement(ints, &k, &out), S_OK);
    QCOMPARE(out, 77);
    QCOMPARE(SafeArrayDestroy(ints), S_OK);

    QVERIFY(!SafeArrayCreateVector(VARTYPE(0x0FFF), 0, 1));
}

void TestComBase::apartments()
{
    inFreshThread([] {
        QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        // Another thread has an apartment of its own.
        inFreshThread([] {
            QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            CoUninitialize();
        });
        CoUninitialize();
        // One count left: the mode still holds.
        QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        // Left entirely: a new mode may be chosen.
        QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
        CoUninitialize(); // one too many changes nothing
        QCOMPARE(CoInitialize(nullptr), S_OK);
        CoUninitialize();
        int reserved = 0;
        QCOMPARE(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
    });
}

void TestComBase::activationNeedsApartment()
{
    registerFixture(QStringLiteral(TESTCOMSERVER_PATH));
    inFreshThread([] {
        void *p = reinterpret_cast<void *>(1);
        QCOMPARE(
            CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
        QVERIFY(!p);
        QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        QCOMPARE(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), S_OK);
        static_cast<IUnknown *>(p)->Release();
        CoUninitialize();
        QCOMPARE(
            CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
    });
}

void TestComBase::securityOnlyOnce()
{
    // The only call of this process's tests: the first call anywhere in a process succeeds.
    QCOMPARE(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE,
                 nullptr, EOAC_NONE, nullptr),
        S_OK);
    QCOMPARE(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE,
                 nullptr, EOAC_NONE, nullptr),
        RPC_E_TOO_LATE);
    inFreshThread([] {
        QCOMPARE(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                     RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr),
            RPC_E_TOO_LATE);
    });
}

void TestComBase::threadLocale()
{
    inFreshThread([] {
        QCOMPARE(GetThreadLocale(), LCID(0x0409));
        QCOMPARE(SetThreadLocale(0x0804), COM_TRUE);
        QCOMPARE(GetThreadLocale(), LCID(0x0804));
        inFreshThread([] { QCOMPARE(GetThreadLocale(), LCID(0x0409)); });
        QCOMPARE(SetThreadLocale(0), COM_FALSE);
        QCOMPARE(GetThreadLocale(), LCID(0x0804));
        QCOMPARE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT), COM_TRUE);
        QCOMPARE(GetThreadLocale(), LCID(0x0409));
    });
}

void TestComBase::progId_data()
{
    QTest::addColumn<QStringList>("entries"); // "key=default value"
    QTest::addColumn<QString>("progId");
    QTest::addColumn<int>("hr");
    QTest::addColumn<QString>("clsid");

    const QString a = QStringLiteral("{11111111-1111-1111-1111-111111111111}");
    const QString b = QStringLiteral("{22222222-2222-2222-2222-222222222222}");
    QTest::newRow("direct") << QStringList {"App.Thing.1\\CLSID=" + a} << "App.Thing.1" << int(S_OK) << a;
    QTest::newRow("letter case") << QStringList {"App.Thing.1\\CLSID=" + a} << "app.thing.1" << int(S_OK) << a;
    QTest::newRow("CurVer followed") << QStringList {"App.Thing\\CLSID=" + a, "App.Thing\\CurVer=App.Thing.2",
        "App.Thing.2\\CLSID=" + b} << "App.Thing"
                                     << int(S_OK) << b;
    QTest::newRow("CurVer only") << QStringList {"App.Thing\\CurVer=App.Thing.2", "App.Thing.2\\CLSID=" + b}
                                 << "App.Thing" << int(S_OK) << b;
    QTest::newRow("CurVer without class")
        << QStringList {"App.Thing\\CLSID=" + a, "App.Thing\\CurVer=App.Gone.3"} << "App.Thing" << int(S_OK) << a;
    QTest::newRow("CurVer loop") << QStringList {"A.X\\CLSID=" + a, "A.X\\CurVer=A.Y", "A.Y\\CurVer=A.X"} << "A.X"
                                 << int(S_OK) << a;
    QTest::newRow("unknown") << QStringList {"App.Thing.1\\CLSID=" + a} << "App.Other.1" << int(CO_E_CLASSSTRING)
                             << QString();
    QTest::newRow("key without CLSID") << QStringList {"App.Thing.1=Thing"} << "App.Thing.1" << int(CO_E_CLASSSTRING)
                                       << QString();
    QTest::newRow("malformed CLSID") << QStringList {"App.Thing.1\\CLSID=1111"} << "App.Thing.1"
                                     << int(CO_E_CLASSSTRING) << QString();
    QTest::newRow("path is no ProgID") << QStringList {"App.Thing.1\\CLSID=" + a} << "App.Thing.1\\CLSID"
                                       << int(CO_E_CLASSSTRING) << QString();
}

void TestComBase::progId()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, progId);
    QFETCH(int, hr);
    QFETCH(QString, clsid);
    CClassRegistry reg;
    for (const QString &e : entries) {
        const int eq = e.indexOf(QLatin1Char('='));
        QVERIFY(reg.setValue(e.left(eq), QString(), e.mid(eq + 1)));
    }
    CLSID got = IID_NULL;
    QCOMPARE(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(progId.utf16()), &got), HRESULT(hr));
    if (hr == S_OK)
        QCOMPARE(CComText::guidText(got), clsid);
}

void TestComBase::createInstance()
{
    registerFixture(QStringLiteral(TESTCOMSERVER_PATH));
    CLSID clsid;
    QCOMPARE(CLSIDFromProgID(u"BramixTest.Calc.1", &clsid), S_OK);
    IDispatch *disp = nullptr;
    QCOMPARE(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                 reinterpret_cast<void **>(&disp)),
        S_OK);
    QVERIFY(disp);
    OLECHAR name[] = u"concat";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    QCOMPARE(disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    QCOMPARE(id, 2);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = args[0].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(u"first");
    args[0].bstrVal = SysAllocString(u"second");
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    QCOMPARE(
        disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    QCOMPARE(text(result.bstrVal), QStringLiteral("first|second"));
    VariantClear(&result);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
    disp->Release();

    // The class object itself, held and released.
    IClassFactory *factory = nullptr;
    QCOMPARE(
        CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
        S_OK);
    IUnknown *unk = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&unk)), S_OK);
    unk->Release();
    factory->Release();
}

void TestComBase::createInstanceFailures_data()
{
    QTest::addColumn<QString>("server"); // InprocServer32 value; empty: no class key at all
    QTest::addColumn<QString>("clsid");
    QTest::addColumn<int>("context");
    QTest::addColumn<int>("hr");

    const QString fixture = QStringLiteral(TESTCOMSERVER_PATH);
    const QString calc = QStringLiteral(TESTCALC_CLSID_TEXT);
    const QString other = QStringLiteral("{33333333-3333-3333-3333-333333333333}");
    QTest::newRow("not registered") << QString() << calc << int(CLSCTX_INPROC_SERVER) << int(REGDB_E_CLASSNOTREG);
    QTest::newRow("library missing") << "/nonexistent/libnothing.so" << calc << int(CLSCTX_INPROC_SERVER)
                                     << int(CO_E_DLLNOTFOUND);
    QTest::newRow("not a library") << "SELF" << calc << int(CLSCTX_INPROC_SERVER) << int(CO_E_ERRORINDLL);
    QTest::newRow("no DllGetClassObject")
        << QStringLiteral(COMBASE_PATH) << calc << int(CLSCTX_INPROC_SERVER) << int(CO_E_ERRORINDLL);
    QTest::newRow("library refuses class")
        << fixture << other << int(CLSCTX_INPROC_SERVER) << int(CLASS_E_CLASSNOTAVAILABLE);
    QTest::newRow("local server only") << fixture << calc << int(CLSCTX_LOCAL_SERVER) << int(REGDB_E_CLASSNOTREG);
}

void TestComBase::createInstanceFailures()
{
    QFETCH(QString, server);
    QFETCH(QString, clsid);
    QFETCH(int, context);
    QFETCH(int, hr);
    if (server == QLatin1String("SELF")) {
        server = m_env->filePath(QStringLiteral("libbroken.so"));
        QVERIFY(CTestEnvironment::writeFile(server, "not an ELF file"));
    }
    if (!server.isEmpty())
        QVERIFY(CClassRegistry().setValue(QStringLiteral("CLSID\\%1\\InprocServer32").arg(clsid), QString(), server));
    GUID g;
    QVERIFY(CComText::parseGuid(clsid, &g));
    void *p = reinterpret_cast<void *>(1);
    QCOMPARE(CoCreateInstance(g, nullptr, DWORD(context), IID_IUnknown, &p), HRESULT(hr));
    QVERIFY(!p);
}

void TestComBase::unloadWhenServerAllows()
{
    const QString path = QFileInfo(QStringLiteral(TESTCOMSERVER_PATH)).canonicalFilePath();
    registerFixture(path);
    QVERIFY(!isLoadedByLoader(path));

    IUnknown *unk = nullptr;
    QCOMPARE(
        CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk)),
        S_OK);
    QVERIFY(CInprocLibraryTable::isLoaded(path));
    CoFreeUnusedLibraries(); // an object is alive: the server says no
    QVERIFY(CInprocLibraryTable::isLoaded(path));
    QVERIFY(isLoadedByLoader(path));

    IClassFactory *factory = nullptr;
    QCOMPARE(CoGetClassObject(
                 CLSID_TestCalc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
        S_OK);
    unk->Release();
    CoFreeUnusedLibraries(); // a held class factory keeps it too
    QVERIFY(isLoadedByLoader(path));
    factory->Release();

    CoFreeUnusedLibraries();
    QVERIFY(!CInprocLibraryTable::isLoaded(path));
    QVERIFY(!isLoadedByLoader(path));

    // The next activation loads it again.
    QCOMPARE(
        CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk)),
        S_OK);
    QVERIFY(isLoadedByLoader(path));
    unk->Release();
    CoFreeUnusedLibraries();
    QVERIFY(!isLoadedByLoader(path));
}

void TestComBase::wmiLocatorBuiltIn()
{
    // {CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}, with no registry entry: the library beside the runtime.
    const CLSID locator = {0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
    const QString beside = QFileInfo(QStringLiteral(COMBASE_PATH)).absolutePath() + QStringLiteral("/libbramixwmi.so");
    IUnknown *unk = nullptr;
    const HRESULT hr = CoCreateInstance(
        locator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk));
    if (QFileInfo::exists(beside)) {
        QCOMPARE(hr, S_OK);
        unk->Release();
    } else {
        QCOMPARE(hr, CO_E_DLLNOTFOUND);
    }
    // A registry entry takes precedence: here the test server, which does not serve that class.
    QVERIFY(CClassRegistry().setValue(QStringLiteral("CLSID\\{CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}\\InprocServer32"),
        QString(), QStringLiteral(TESTCOMSERVER_PATH)));
    QCOMPARE(CoCreateInstance(locator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk)),
        CLASS_E_CLASSNOTAVAILABLE);
}

QTEST_GUILESS_MAIN(TestComBase)
#include "tst_combase.moc"
