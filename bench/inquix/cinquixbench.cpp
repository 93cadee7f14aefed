#include "cinquixbench.h"

#include "inquix_i.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <vector>

namespace {

struct CClassQuery
{
    const char *key;
    const char *wql;
};

// The inventory class table, in the order the client agent walks it.
const CClassQuery kClasses[] = {
    {"BIOS", "select * from Win32_BIOS"},
    {"BaseBoard", "select * from Win32_BaseBoard"},
    {"CDROMDrive", "select * from Win32_CDROMDrive"},
    {"CPU", "select * from Win32_Processor"},
    {"DesktopMonitor", "select * from Win32_DesktopMonitor"},
    {"DiskDrive", "select * from Win32_DiskDrive"},
    {"MemoryDevice", "select * from Win32_PhysicalMemory"},
    {"NetworkAdapter", "select * from Win32_NetworkAdapter"},
    {"OS", "select * from Win32_OperatingSystem"},
    {"Printer", "select * from Win32_Printer"},
    {"Software", "select * from Win32_Product"},
    {"SoundDevice", "select * from Win32_SoundDevice"},
    {"VideoController", "select * from Win32_VideoController"},
};

} // namespace

CInquixBench::CResult CInquixBench::queryOnce(const QString &wql)
{
    CResult result;
    QElapsedTimer timer;
    timer.start();

    CLSID clsid;
    IDispatch *dispatch = nullptr;
    if (CLSIDFromProgID(u"Inquix.Device.1", &clsid) != S_OK
        || CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
               reinterpret_cast<void **>(&dispatch))
            != S_OK)
        return result;
    std::u16string name = u"query";
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR *>(wql.utf16()), UINT(wql.size()));
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT answer;
    VariantInit(&answer);
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, GetThreadLocale(), &id);
    if (SUCCEEDED(hr))
        hr = dispatch->Invoke(id, IID_NULL, GetThreadLocale(), DISPATCH_METHOD, &params, &answer, nullptr, nullptr);
    QString text;
    if (answer.vt == VT_BSTR && answer.bstrVal)
        text = QString::fromUtf16(answer.bstrVal, SysStringLen(answer.bstrVal));
    VariantClear(&answer);
    VariantClear(&arg);
    dispatch->Release();
    result.ms = timer.nsecsElapsed() / 1e6;

    result.ok = hr == S_OK;
    result.bytes = text.toUtf8().size();
    result.objects = text.isEmpty() ? 0 : int(text.count(QLatin1Char('^'))) + 1;
    return result;
}

bool CInquixBench::registerPrivately(const QString &library)
{
    void *handle = dlopen(QFile::encodeName(library).constData(), RTLD_NOW);
    if (!handle) {
        std::fprintf(stderr, "bench_inquix: cannot load %s: %s\n", qPrintable(library), dlerror());
        return false;
    }
    typedef HRESULT (*Entry)();
    Entry entry = reinterpret_cast<Entry>(dlsym(handle, "DllRegisterServer"));
    const HRESULT hr = entry ? entry() : E_FAIL;
    if (hr != S_OK) {
        std::fprintf(stderr, "bench_inquix: DllRegisterServer: 0x%08x\n", unsigned(hr));
        return false;
    }
    return true; // the handle stays: the runtime loads the same library by the registered path
}

int CInquixBench::run(const QStringList &arguments)
{
    int passes = 3;
    bool registered = false;
    QString library = QCoreApplication::applicationDirPath() + QStringLiteral("/libInquix.so");
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--passes") && i + 1 < arguments.size())
            passes = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--registered"))
            registered = true;
        else if (arguments[i] == QLatin1String("--library") && i + 1 < arguments.size())
            library = arguments[++i];
        else {
            std::fprintf(stderr, "usage: bench_inquix [--passes N] [--registered] [--library PATH]\n");
            return 1;
        }
    }

    std::unique_ptr<QTemporaryDir> platformRoot;
    if (!registered) {
        platformRoot = std::make_unique<QTemporaryDir>();
        if (!platformRoot->isValid())
            return 2;
        qputenv("BRAMIX_PLATFORM_ROOT", QFile::encodeName(platformRoot->path()));
        if (!registerPrivately(library))
            return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;

    const int classCount = int(sizeof(kClasses) / sizeof(kClasses[0]));
    std::vector<std::vector<CResult>> results(passes);
    std::vector<double> totals(passes, 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (const CClassQuery &c : kClasses) {
            const CResult r = queryOnce(QString::fromLatin1(c.wql));
            results[pass].push_back(r);
            totals[pass] += r.ms;
        }
    }
    CoUninitialize();

    std::printf("%-16s %-36s %10s %10s %10s %8s\n", "class", "query", "first ms", "best ms", "bytes", "objects");
    bool allOk = true;
    qint64 totalBytes = 0;
    for (int i = 0; i < classCount; ++i) {
        double best = results[0][i].ms;
        for (int pass = 1; pass < passes; ++pass)
            best = std::min(best, results[pass][i].ms);
        const CResult &first = results[0][i];
        allOk = allOk && first.ok;
        totalBytes += first.bytes;
        std::printf("%-16s %-36s %10.2f %10.2f %10lld %8d%s\n", kClasses[i].key, kClasses[i].wql, first.ms, best,
            static_cast<long long>(first.bytes), first.objects, first.ok ? "" : "  FAILED");
    }
    std::printf("%-16s %-36s %10s %10s %10lld\n", "total bytes", "", "", "", static_cast<long long>(totalBytes));
    for (int pass = 0; pass < passes; ++pass)
        std::printf("pass %d: %.2f ms%s\n", pass + 1, totals[pass], pass == 0 ? " (first, loads the libraries)" : "");
    const double best = *std::min_element(totals.begin(), totals.end());
    std::printf("best pass: %.2f ms (goal: under 100 ms)\n", best);
    return allOk ? 0 : 3;
}
