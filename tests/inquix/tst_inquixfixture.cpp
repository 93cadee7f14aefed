// Exact answers of the Device object over the WMI stand-in, with the machine replaced by a fixture
// tree (BRAMIX_WMI_ROOT): what the provider lists and what the query result keeps of it.

#include "cinquixharness.h"
#include "ctestenvironment.h"
#include "inquix_i.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtTest>

class TestInquixFixture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void productText();
    void noPackageDatabase();
    void processorText();
    void cleanupTestCase();

private:
    QString query(const QString &wql, HRESULT *hr);
    bool writeTreeFile(const QString &machinePath, const QByteArray &data);

    CTestEnvironment m_env;
    QString m_root;
};

bool TestInquixFixture::writeTreeFile(const QString &machinePath, const QByteArray &data)
{
    const QString path = m_root + machinePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return CTestEnvironment::writeFile(path, data);
}

void TestInquixFixture::initTestCase()
{
    QVERIFY(m_env.isValid());
    m_root = m_env.filePath(QStringLiteral("machine"));
    QVERIFY(QDir().mkpath(m_root));
    qputenv("BRAMIX_WMI_ROOT", QFile::encodeName(m_root));
    void *inquix = CInquixHarness::openLibrary(CInquixHarness::inquixPath());
    QVERIFY(inquix);
    QCOMPARE(CInquixHarness::callExport(inquix, "DllRegisterServer"), S_OK);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void TestInquixFixture::cleanupTestCase()
{
    CoUninitialize();
}

QString TestInquixFixture::query(const QString &wql, HRESULT *hr)
{
    *hr = E_FAIL;
    IDevice *device = nullptr;
    if (CoCreateInstance(CLSID_Device, nullptr, CLSCTX_INPROC_SERVER, IID_IDevice, reinterpret_cast<void **>(&device))
        != S_OK)
        return QStringLiteral("#not created");
    BSTR text = CInquixHarness::bstr(wql);
    VARIANT result;
    VariantInit(&result);
    *hr = device->query(text, &result);
    SysFreeString(text);
    const QString answer = CInquixHarness::text(result);
    VariantClear(&result);
    device->Release();
    return answer;
}

void TestInquixFixture::productText()
{
    QVERIFY(writeTreeFile(QStringLiteral("/var/lib/dpkg/status"),
        "Package: zlib1g\n"
        "Status: install ok installed\n"
        "Priority: optional\n"
        "Architecture: amd64\n"
        "Multi-Arch: same\n"
        "Maintainer: Mark Brown <broonie@debian.org>\n"
        "Version: 1:1.2.13.dfsg-1\n"
        "Description: compression library - runtime\n"
        " zlib is a library implementing the deflate compression method.\n"
        "\n"
        "Package: oldtool\n"
        "Status: deinstall ok config-files\n"
        "Architecture: all\n"
        "Version: 0.9\n"
        "Description: removed long ago\n"
        "\n"
        "Package: nolist\n"
        "Status: install ok installed\n"
        "Architecture: all\n"
        "Description: a package without a file list\n"));
    const QString list = m_root + QStringLiteral("/var/lib/dpkg/info/zlib1g:amd64.list");
    QVERIFY(writeTreeFile(QStringLiteral("/var/lib/dpkg/info/zlib1g:amd64.list"), "/usr/lib/libz.so.1\n"));
    const QDateTime installed(QDate(2024, 1, 31), QTime(23, 30, 15));
    QFile listFile(list);
    QVERIFY(listFile.open(QIODevice::ReadWrite));
    QVERIFY(listFile.setFileTime(installed, QFileDevice::FileModificationTime));
    listFile.close();

    HRESULT hr;
    const QString text = query(QStringLiteral("select * from Win32_Product"), &hr);
    QCOMPARE(hr, S_OK);
    // Vendor, IdentifyingNumber, InstallDate and InstallState are not reported; the install time
    // keeps its date; a package without a version or install time has no such lines.
    QCOMPARE(text,
        QStringLiteral("Caption=compression library - runtime\nDescription=compression library - runtime\n"
                       "InstallDate2=20240131\nName=zlib1g\nVersion=1:1.2.13.dfsg-1\n"
                       "^Caption=a package without a file list\nDescription=a package without a file list\n"
                       "Name=nolist\n"));
}

void TestInquixFixture::noPackageDatabase()
{
    QFile::remove(m_root + QStringLiteral("/var/lib/dpkg/status"));
    HRESULT hr;
    QCOMPARE(query(QStringLiteral("select * from Win32_Product"), &hr), QStringLiteral(""));
    QCOMPARE(hr, S_OK);
}

void TestInquixFixture::processorText()
{
    QByteArray cpuinfo;
    for (int cpu = 0; cpu < 4; ++cpu)
        cpuinfo += "processor\t: " + QByteArray::number(cpu)
            + "\n"
              "vendor_id\t: GenuineIntel\n"
              "cpu family\t: 6\n"
              "model\t\t: 85\n"
              "model name\t: Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz\n"
              "stepping\t: 7\n"
              "cpu MHz\t\t: 2100.000\n"
              "physical id\t: "
            + QByteArray::number(cpu / 2) + "\ncore id\t\t: " + QByteArray::number(cpu % 2)
            + "\ncpu cores\t: 2\n"
              "flags\t\t: fpu vme lm sse2\n\n";
    QVERIFY(writeTreeFile(QStringLiteral("/proc/cpuinfo"), cpuinfo));
    HRESULT hr;
    const QString text = query(QStringLiteral("select * from Win32_Processor"), &hr);
    QCOMPARE(hr, S_OK);
    // One object per package; no firmware table, so no socket name and no SocketDesignation line.
    const QString package = QStringLiteral("Caption=Intel64 Family 6 Model 85 Stepping 7\n"
                                           "Description=Intel64 Family 6 Model 85 Stepping 7\n"
                                           "Manufacturer=GenuineIntel\n"
                                           "Name=Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz\n");
    QCOMPARE(text, package + QLatin1Char('^') + package);
}

QTEST_GUILESS_MAIN(TestInquixFixture)
#include "tst_inquixfixture.moc"
