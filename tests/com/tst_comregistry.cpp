#include "cclassregistry.h"
#include "combase.h"
#include "ctestenvironment.h"
#include "testcomserver.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

// Every key as "path" and every value as "path|name=data" ("@" for the default value), sorted.
QStringList dump(const CRegistryTree &tree, const QString &path = QString())
{
    QStringList lines;
    for (const QString &name : tree.valueNames(path)) {
        QString data;
        tree.value(path, name, &data);
        lines << path + QLatin1Char('|') + (name.isEmpty() ? QStringLiteral("@") : name) + QLatin1Char('=') + data;
    }
    for (const QString &sub : tree.subKeys(path)) {
        const QString child = path.isEmpty() ? sub : path + QLatin1Char('\\') + sub;
        lines << child << dump(tree, child);
    }
    if (path.isEmpty())
        lines.sort(Qt::CaseInsensitive);
    return lines;
}

QStringList dumpRegistry()
{
    CRegistryTree tree;
    if (CClassRegistry().load(&tree) != CClassRegistry::Ok)
        return {QStringLiteral("<unreadable>")};
    return dump(tree);
}

HRESULT run(const char *script, bool doRegister, const QList<QPair<QString, QString>> &replacements = {})
{
    std::vector<std::u16string> storage;
    for (const auto &r : replacements) {
        storage.push_back(r.first.toStdU16String());
        storage.push_back(r.second.toStdU16String());
    }
    std::vector<COMREGREPLACEMENT> table;
    for (size_t i = 0; i < storage.size(); i += 2)
        table.push_back({storage[i].c_str(), storage[i + 1].c_str()});
    return ComRegistrarUpdate(script, doRegister ? COM_TRUE : COM_FALSE, table.data(), int(table.size()));
}

const char kAppIdScript[] = R"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'Inquix'
		'Inquix.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
)";

const char kClassScript[] = R"(HKCR
{
	Inquix.Device.1 = s 'Device Class'
	{
		CLSID = s '{D1CA6332-0E8E-41E3-853C-703C03EA05A4}'
	}
	Inquix.Device = s 'Device Class'
	{
		CLSID = s '{D1CA6332-0E8E-41E3-853C-703C03EA05A4}'
		CurVer = s 'Inquix.Device.1'
	}
	NoRemove CLSID
	{
		ForceRemove {D1CA6332-0E8E-41E3-853C-703C03EA05A4} = s 'Device Class'
		{
			ProgID = s 'Inquix.Device.1'
			VersionIndependentProgID = s 'Inquix.Device'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			val AppID = s '%APPID%'
			'TypeLib' = s '{F15C2301-7507-4C15-A2F5-777F134E92A9}'
		}
	}
}
)";

const QList<QPair<QString, QString>> kReplacements
    = {{QStringLiteral("MODULE"), QStringLiteral("/opt/bramix/libInquix.so")},
        {QStringLiteral("APPID"), QStringLiteral("{91625F50-D5D6-4251-AF2D-AC409146225D}")}};

const QStringList kRegistered = {
    QStringLiteral("AppID"),
    QStringLiteral("AppID\\{91625F50-D5D6-4251-AF2D-AC409146225D}"),
    QStringLiteral("AppID\\{91625F50-D5D6-4251-AF2D-AC409146225D}|@=Inquix"),
    QStringLiteral("AppID\\Inquix.DLL"),
    QStringLiteral("AppID\\Inquix.DLL|AppID={91625F50-D5D6-4251-AF2D-AC409146225D}"),
    QStringLiteral("CLSID"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\InprocServer32"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\InprocServer32|@=/opt/bramix/libInquix.so"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\InprocServer32|ThreadingModel=Apartment"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\ProgID"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\ProgID|@=Inquix.Device.1"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\Programmable"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\TypeLib"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\TypeLib|@={F15C2301-7507-4C15-A2F5-777F134E92A9}"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\VersionIndependentProgID"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\VersionIndependentProgID|@=Inquix.Device"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}|@=Device Class"),
    QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}|AppID={91625F50-D5D6-4251-AF2D-AC409146225D}"),
    QStringLiteral("Inquix.Device"),
    QStringLiteral("Inquix.Device.1"),
    QStringLiteral("Inquix.Device.1\\CLSID"),
    QStringLiteral("Inquix.Device.1\\CLSID|@={D1CA6332-0E8E-41E3-853C-703C03EA05A4}"),
    QStringLiteral("Inquix.Device.1|@=Device Class"),
    QStringLiteral("Inquix.Device\\CLSID"),
    QStringLiteral("Inquix.Device\\CLSID|@={D1CA6332-0E8E-41E3-853C-703C03EA05A4}"),
    QStringLiteral("Inquix.Device\\CurVer"),
    QStringLiteral("Inquix.Device\\CurVer|@=Inquix.Device.1"),
    QStringLiteral("Inquix.Device|@=Device Class"),
};

QStringList sorted(QStringList l)
{
    l.sort(Qt::CaseInsensitive);
    return l;
}

} // namespace

class TestComRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void treeKeysAndValues();
    void registryFileRoundTrip();

    void registerServerScripts();
    void registerTwiceOneSet();
    void removalKeepsSharedKeys();
    void scriptNotation_data();
    void scriptNotation();
    void scriptRefused_data();
    void scriptRefused();
    void unreadableRegistryNotOverwritten();

    void typeLibrary();

    void concurrentWritersFromProcesses();

    void regsvrRegistersAndRemoves();
    void regsvrFailures_data();
    void regsvrFailures();

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

void TestComRegistry::init()
{
    m_env = std::make_unique<CTestEnvironment>();
    QVERIFY(m_env->isValid());
}

void TestComRegistry::cleanup()
{
    m_env.reset();
}

void TestComRegistry::treeKeysAndValues()
{
    CRegistryTree t;
    QVERIFY(t.setValue(QStringLiteral("CLSID\\{X}\\InprocServer32"), QString(), QStringLiteral("/lib/x.so")));
    QVERIFY(t.keyExists(QStringLiteral("clsid\\{x}")));
    QString data;
    QVERIFY(t.value(QStringLiteral("CLSID\\{x}\\inprocserver32"), QString(), &data));
    QCOMPARE(data, QStringLiteral("/lib/x.so"));
    // Names keep their first spelling; a later spelling in another case is the same entry.
    QVERIFY(t.setValue(
        QStringLiteral("CLSID\\{X}\\INPROCSERVER32"), QStringLiteral("ThreadingModel"), QStringLiteral("Apartment")));
    QVERIFY(t.setValue(
        QStringLiteral("CLSID\\{X}\\InprocServer32"), QStringLiteral("threadingmodel"), QStringLiteral("Both")));
    QCOMPARE(t.subKeys(QStringLiteral("CLSID\\{X}")), QStringList {QStringLiteral("InprocServer32")});
    QCOMPARE(t.valueNames(QStringLiteral("CLSID\\{X}\\InprocServer32")),
        (QStringList {QString(), QStringLiteral("ThreadingModel")}));
    QVERIFY(t.value(QStringLiteral("CLSID\\{X}\\InprocServer32"), QStringLiteral("ThreadingModel"), &data));
    QCOMPARE(data, QStringLiteral("Both"));

    QVERIFY(!t.createKey(QStringLiteral("CLSID\\\\Empty")));
    QVERIFY(!t.setValue(QStringLiteral("\\Lead"), QString(), QString()));
    QVERIFY(t.removeKey(QStringLiteral("clsid")));
    QVERIFY(!t.keyExists(QStringLiteral("CLSID\\{X}\\InprocServer32")));
    QVERIFY(!t.removeKey(QStringLiteral("CLSID")));
    QVERIFY(!t.removeKey(QString())); // the root stays
}

void TestComRegistry::registryFileRoundTrip()
{
    CClassRegistry reg;
    QCOMPARE(reg.filePath(), m_env->platformRoot() + QStringLiteral("/classregistry.json"));
    QVERIFY(!reg.keyExists(QStringLiteral("AppID"))); // a missing file is an empty registry
    QVERIFY(reg.setValue(QStringLiteral("A\\B"), QStringLiteral("Name"), QStringLiteral("it's \"quoted\" \\ ü")));
    QVERIFY(reg.setValue(QStringLiteral("A\\B"), QString(), QString()));
    QVERIFY(reg.createKey(QStringLiteral("A\\Empty")));
    CClassRegistry again(reg.filePath());
    QCOMPARE(again.value(QStringLiteral("a\\b"), QStringLiteral("name")), QStringLiteral("it's \"quoted\" \\ ü"));
    QVERIFY(again.hasValue(QStringLiteral("A\\B")));
    QVERIFY(!again.value(QStringLiteral("A\\B")).isNull()); // empty, yet present
    QVERIFY(again.value(QStringLiteral("A\\B"), QStringLiteral("Other")).isNull());
    QVERIFY(again.keyExists(QStringLiteral("A\\Empty")));
    QVERIFY(again.removeValue(QStringLiteral("A\\B"), QStringLiteral("Name")));
    QVERIFY(!again.hasValue(QStringLiteral("A\\B"), QStringLiteral("Name")));
    // No temporary or partial file stays behind.
    const QStringList files = QDir(m_env->platformRoot()).entryList(QDir::Files);
    for (const QString &f : files)
        QVERIFY2(
            f == QLatin1String("classregistry.json") || f == QLatin1String("classregistry.json.lock"), qPrintable(f));
}

void TestComRegistry::registerServerScripts()
{
    QCOMPARE(run(kAppIdScript, true, kReplacements), S_OK);
    QCOMPARE(run(kClassScript, true, kReplacements), S_OK);
    QCOMPARE(dumpRegistry(), sorted(kRegistered));
    CLSID clsid;
    QCOMPARE(CLSIDFromProgID(u"Inquix.Device", &clsid), S_OK);
}

void TestComRegistry::registerTwiceOneSet()
{
    QCOMPARE(run(kAppIdScript, true, kReplacements), S_OK);
    QCOMPARE(run(kClassScript, true, kReplacements), S_OK);
    // Leftovers of an older registration below the class key and a changed value elsewhere.
    CClassRegistry reg;
    QVERIFY(reg.setValue(QStringLiteral("CLSID\\{D1CA6332-0E8E-41E3-853C-703C03EA05A4}\\LocalServer32"), QString(),
        QStringLiteral("/old/server")));
    QVERIFY(reg.setValue(QStringLiteral("Inquix.Device.1"), QString(), QStringLiteral("Old Name")));
    QCOMPARE(run(kAppIdScript, true, kReplacements), S_OK);
    QCOMPARE(run(kClassScript, true, kReplacements), S_OK);
    QCOMPARE(dumpRegistry(), sorted(kRegistered));
}

void TestComRegistry::removalKeepsSharedKeys()
{
    CClassRegistry reg;
    // Entries of other servers under the shared keys.
    QVERIFY(reg.setValue(QStringLiteral("AppID\\{OTHER}"), QString(), QStringLiteral("Other")));
    QVERIFY(reg.setValue(QStringLiteral("CLSID\\{OTHER}\\InprocServer32"), QString(), QStringLiteral("/other.so")));
    QCOMPARE(run(kAppIdScript, true, kReplacements), S_OK);
    QCOMPARE(run(kClassScript, true, kReplacements), S_OK);
    QCOMPARE(run(kClassScript, false, kReplacements), S_OK);
    QCOMPARE(run(kAppIdScript, false, kReplacements), S_OK);
    QCOMPARE(dumpRegistry(),
        sorted({QStringLiteral("AppID"), QStringLiteral("AppID\\{OTHER}"), QStringLiteral("AppID\\{OTHER}|@=Other"),
            QStringLiteral("CLSID"), QStringLiteral("CLSID\\{OTHER}"), QStringLiteral("CLSID\\{OTHER}\\InprocServer32"),
            QStringLiteral("CLSID\\{OTHER}\\InprocServer32|@=/other.so")}));
    // Removing what is not there is no error.
    QCOMPARE(run(kClassScript, false, kReplacements), S_OK);
}

void TestComRegistry::scriptNotation_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("doRegister");
    QTest::addColumn<QStringList>("before"); // "key" or "key|name=value" to set first
    QTest::addColumn<QStringList>("after");

    QTest::newRow("quoted names and quotes")
        << QByteArray("HKEY_CLASSES_ROOT { 'My Key' = s 'it''s' { val 'Named Value' = s 'a b' } }") << true
        << QStringList() << QStringList {"My Key", "My Key|@=it's", "My Key|Named Value=a b"};
    QTest::newRow("percent sign and replacement in a name")
        << QByteArray("HKCR { '%APPID%' = s '100%% %MODULE%' }") << true << QStringList()
        << QStringList {"{91625F50-D5D6-4251-AF2D-AC409146225D}",
               "{91625F50-D5D6-4251-AF2D-AC409146225D}|@=100% /opt/bramix/libInquix.so"};
    QTest::newRow("keywords in any case")
        << QByteArray("hkcr { noremove A { forceremove B { VAL v = S 'x' } } }") << true
        << QStringList {"A\\B\\Old|@=1"} << QStringList {"A", "A\\B", "A\\B|v=x"};
    QTest::newRow("plain keys keep their other subkeys")
        << QByteArray("HKCR { A = s 'new' { B = s 'b' } }") << true << QStringList {"A|@=old", "A\\Keep|@=k"}
        << QStringList {"A", "A\\B", "A\\B|@=b", "A\\Keep", "A\\Keep|@=k", "A|@=new"};
    QTest::newRow("Delete at registration")
        << QByteArray("HKCR { NoRemove A { Delete Gone } }") << true << QStringList {"A\\Gone\\Deep|@=1", "A\\Stay"}
        << QStringList {"A", "A\\Stay"};
    QTest::newRow("removal of named value in kept key")
        << QByteArray("HKCR { NoRemove A { val V = s 'x' B } }") << false
        << QStringList {"A|V=x", "A|W=y", "A|@=d", "A\\B\\C", "A\\D"} << QStringList {"A", "A\\D", "A|@=d", "A|W=y"};
    QTest::newRow("removal keeps a key holding a NoRemove key")
        << QByteArray("HKCR { A { NoRemove B { C } } D }") << false
        << QStringList {"A\\B\\C", "A\\B\\E", "A\\F", "D\\G"} << QStringList {"A", "A\\B", "A\\B\\E", "A\\F"};
    QTest::newRow("several root blocks") << QByteArray("HKCR { A } HKCR { B }") << true << QStringList()
                                         << QStringList {"A", "B"};
    QTest::newRow("CRLF line ends") << QByteArray("HKCR\r\n{\r\n\tA = s 'x'\r\n}\r\n") << true << QStringList()
                                    << QStringList {"A", "A|@=x"};
}

void TestComRegistry::scriptNotation()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, doRegister);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    CClassRegistry reg;
    for (const QString &line : before) {
        const int bar = line.indexOf(QLatin1Char('|'));
        if (bar < 0) {
            QVERIFY(reg.createKey(line));
        } else {
            const int eq = line.indexOf(QLatin1Char('='), bar);
            QString name = line.mid(bar + 1, eq - bar - 1);
            if (name == QLatin1String("@"))
                name.clear();
            QVERIFY(reg.setValue(line.left(bar), name, line.mid(eq + 1)));
        }
    }
    QCOMPARE(run(script.constData(), doRegister, kReplacements), S_OK);
    QCOMPARE(dumpRegistry(), sorted(after));
}

void TestComRegistry::scriptRefused_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("unknown replacement") << QByteArray("HKCR { A = s '%NOPE%' }");
    QTest::newRow("unterminated replacement") << QByteArray("HKCR { A = s '%MODULE' }");
    QTest::newRow("other hive") << QByteArray("HKLM { A }");
    QTest::newRow("missing close") << QByteArray("HKCR { A { B }");
    QTest::newRow("unterminated quote") << QByteArray("HKCR { A = s 'x }");
    QTest::newRow("number value") << QByteArray("HKCR { A = d '5' }");
    QTest::newRow("val without value") << QByteArray("HKCR { A { val B } }");
    QTest::newRow("backslash in name") << QByteArray("HKCR { 'A\\B' }");
    QTest::newRow("no root block") << QByteArray("A = s 'x'");
}

void TestComRegistry::scriptRefused()
{
    QFETCH(QByteArray, script);
    QVERIFY(CClassRegistry().setValue(QStringLiteral("Existing"), QString(), QStringLiteral("1")));
    const QByteArray file = CTestEnvironment::readFile(CClassRegistry::defaultFilePath());
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^ComRegistrarUpdate: invalid registry script")));
    QCOMPARE(run(script.constData(), true, kReplacements), DISP_E_EXCEPTION);
    // Nothing of a refused script is written, not even what came before the fault.
    QCOMPARE(CTestEnvironment::readFile(CClassRegistry::defaultFilePath()), file);
}

void TestComRegistry::unreadableRegistryNotOverwritten()
{
    const QString path = CClassRegistry::defaultFilePath();
    QVERIFY(CTestEnvironment::writeFile(path, "{ this is not a registry"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^ComRegistrarUpdate: ")));
    QCOMPARE(run(kAppIdScript, true, kReplacements), REGDB_E_READREGDB);
    QCOMPARE(CTestEnvironment::readFile(path), QByteArray("{ this is not a registry"));
    QVERIFY(!CClassRegistry().setValue(QStringLiteral("A"), QString(), QStringLiteral("x")));
    QCOMPARE(CTestEnvironment::readFile(path), QByteArray("{ this is not a registry"));
    CLSID clsid;
    QCOMPARE(CLSIDFromProgID(u"Inquix.Device.1", &clsid), REGDB_E_READREGDB);
}

void TestComRegistry::typeLibrary()
{
    CClassRegistry reg;
    QVERIFY(reg.setValue(QStringLiteral("Interface\\{OTHER}"), QString(), QStringLiteral("IOther")));
    const COMTYPELIBINFO info
        = {LIBID_TestCalcLib, 1, 0, 0x409, u"TestCalcLib", u"Test calculator 1.0", IID_ITestCalc, u"ITestCalc"};
    QCOMPARE(ComRegisterTypeLib(&info, u"/opt/test/libcalc.so"), S_OK);
    QCOMPARE(ComRegisterTypeLib(&info, u"/opt/test/libcalc.so"), S_OK); // again: same keys
    const QString lib = QStringLiteral("TypeLib\\" TESTCALC_LIBID_TEXT "\\1.0");
    const QString itf = QStringLiteral("Interface\\" TESTCALC_IID_TEXT);
    const QString platform = sizeof(void *) == 8 ? QStringLiteral("win64") : QStringLiteral("win32");
    QCOMPARE(dumpRegistry(),
        sorted({QStringLiteral("Interface"), QStringLiteral("Interface\\{OTHER}"),
            QStringLiteral("Interface\\{OTHER}|@=IOther"), itf, itf + "|@=ITestCalc", itf + "\\ProxyStubClsid",
            itf + "\\ProxyStubClsid|@={00020424-0000-0000-C000-000000000046}", itf + "\\ProxyStubClsid32",
            itf + "\\ProxyStubClsid32|@={00020424-0000-0000-C000-000000000046}", itf + "\\TypeLib",
            itf + "\\TypeLib|@=" TESTCALC_LIBID_TEXT, itf + "\\TypeLib|Version=1.0", QStringLiteral("TypeLib"),
            QStringLiteral("TypeLib\\" TESTCALC_LIBID_TEXT), lib, lib + "|@=Test calculator 1.0",
            lib + "|Name=TestCalcLib", lib + "\\409", lib + "\\409\\" + platform,
            lib + "\\409\\" + platform + "|@=/opt/test/libcalc.so", lib + "\\FLAGS", lib + "\\FLAGS|@=0",
            lib + "\\HELPDIR", lib + "\\HELPDIR|@=/opt/test"}));

    QCOMPARE(UnRegisterTypeLib(LIBID_TestCalcLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    QCOMPARE(dumpRegistry(),
        sorted({QStringLiteral("Interface"), QStringLiteral("Interface\\{OTHER}"),
            QStringLiteral("Interface\\{OTHER}|@=IOther"), QStringLiteral("TypeLib")}));
    QCOMPARE(UnRegisterTypeLib(LIBID_TestCalcLib, 1, 0, 0x409, SYS_WIN32), TYPE_E_REGISTRYACCESS);
    QCOMPARE(ComRegisterTypeLib(nullptr, u"/x"), E_INVALIDARG);
}

void TestComRegistry::concurrentWritersFromProcesses()
{
    const int writers = 4;
    const int perWriter = 40;
    const QString file = CClassRegistry::defaultFilePath();
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int w = 0; w < writers; ++w) {
        auto p = std::make_unique<QProcess>();
        p->start(
            QStringLiteral(REGISTRY_WRITER_PATH), {file, QStringLiteral("W%1").arg(w), QString::number(perWriter)});
        procs.push_back(std::move(p));
    }
    // And this process writes at the same time.
    CClassRegistry reg(file);
    for (int i = 0; i < perWriter; ++i)
        QVERIFY(reg.setValue(QStringLiteral("Writers\\Main\\Key%1").arg(i), QString(), QString::number(i)));
    for (auto &p : procs) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
    }
    CRegistryTree tree;
    QCOMPARE(reg.load(&tree), CClassRegistry::Ok);
    QCOMPARE(tree.subKeys(QStringLiteral("Writers")).size(), writers + 1);
    for (int w = 0; w < writers; ++w) {
        const QString base = QStringLiteral("Writers\\W%1").arg(w);
        QCOMPARE(tree.subKeys(base).size(), perWriter);
        QString data;
        QVERIFY(tree.value(base + QStringLiteral("\\Key%1").arg(perWriter - 1), QString(), &data));
        QCOMPARE(data, QStringLiteral("W%1-%2").arg(w).arg(perWriter - 1));
    }
    QCOMPARE(tree.subKeys(QStringLiteral("Writers\\Main")).size(), perWriter);
}

void TestComRegistry::regsvrRegistersAndRemoves()
{
    // A copy in the test's own directory, registered by a relative path from there.
    const QString dir = m_env->filePath(QStringLiteral("server"));
    QVERIFY(QDir().mkpath(dir));
    const QString copy = dir + QStringLiteral("/libtestcalc.so");
    QVERIFY(QFile::copy(QStringLiteral(TESTCOMSERVER_PATH), copy));

    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(REGSVR_PATH), {QStringLiteral("libtestcalc.so")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(p.readAllStandardOutput().contains("DllRegisterServer"), "no report");
    CClassRegistry reg;
    const QString canonical = QFileInfo(copy).canonicalFilePath();
    QCOMPARE(reg.value(QStringLiteral("CLSID\\" TESTCALC_CLSID_TEXT "\\InprocServer32")), canonical);
    QCOMPARE(
        reg.value(QStringLiteral("CLSID\\" TESTCALC_CLSID_TEXT "\\InprocServer32"), QStringLiteral("ThreadingModel")),
        QStringLiteral("Apartment"));
    QVERIFY(reg.keyExists(QStringLiteral("TypeLib\\" TESTCALC_LIBID_TEXT "\\1.0")));

    // What was registered activates.
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CLSID clsid;
    QCOMPARE(CLSIDFromProgID(u"BramixTest.Calc", &clsid), S_OK);
    IUnknown *unk = nullptr;
    QCOMPARE(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk)), S_OK);
    unk->Release();
    CoFreeUnusedLibraries();
    CoUninitialize();

    p.start(QStringLiteral(REGSVR_PATH), {QStringLiteral("-u"), copy});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains(
        "DllUnregisterServer in " + QFile::encodeName(canonical) + " returned 0x00000000"));
    QCOMPARE(dumpRegistry(), sorted({QStringLiteral("CLSID"), QStringLiteral("Interface"), QStringLiteral("TypeLib")}));
}

void TestComRegistry::regsvrFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("failEnv");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("no argument") << QStringList() << false << 1 << QByteArray();
    QTest::newRow("two libraries") << QStringList {"a.so", "b.so"} << false << 1 << QByteArray();
    QTest::newRow("missing library") << QStringList {"/nonexistent/lib.so"} << false << 3 << QByteArray();
    QTest::newRow("no entry point") << QStringList {COMBASE_PATH} << false << 4 << QByteArray();
    QTest::newRow("entry point fails") << QStringList {TESTCOMSERVER_PATH} << true << 5 << QByteArray("0x80040201");
    QTest::newRow("removal of what is not registered")
        << QStringList {"-u", TESTCOMSERVER_PATH} << false << 5 << QByteArray("0x8002801C");
}

void TestComRegistry::regsvrFailures()
{
    QFETCH(QStringList, args);
    QFETCH(bool, failEnv);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (failEnv)
        env.insert(QStringLiteral("BRAMIX_TESTSERVER_FAIL"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(REGSVR_PATH), args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), exitCode);
    if (!output.isEmpty())
        QVERIFY(p.readAllStandardOutput().contains(output));
    QVERIFY(!CClassRegistry().keyExists(QStringLiteral("BramixTest.Calc.1")));
}

QTEST_GUILESS_MAIN(TestComRegistry)
#include "tst_comregistry.moc"
