#include "cinquixharness.h"

#include "ctestenvironment.h"

#include <QFile>
#include <QtTest>

#include <dlfcn.h>

QString CInquixHarness::inquixPath()
{
    return CTestEnvironment::stagedFile(QStringLiteral("libInquix.so"));
}

QString CInquixHarness::fakeWmiPath()
{
    return QStringLiteral(INQUIX_FAKE_WMI_PATH);
}

void *CInquixHarness::openLibrary(const QString &path)
{
    void *library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW);
    if (!library)
        qWarning("dlopen %s: %s", qPrintable(path), dlerror());
    return library;
}

HRESULT CInquixHarness::callExport(void *library, const char *name)
{
    typedef HRESULT (*Function)();
    Function f = library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
    return f ? f() : E_FAIL;
}

bool CInquixHarness::registerFakeLocator(const QString &library)
{
    const char script[] = "HKCR\n{\n\tNoRemove CLSID\n\t{\n"
                          "\t\tForceRemove {CB8555CC-9128-11D1-AD9B-00C04FD8FDFF} = s 'Test locator'\n\t\t{\n"
                          "\t\t\tInprocServer32 = s '%MODULE%'\n\t\t\t{\n"
                          "\t\t\t\tval ThreadingModel = s 'Both'\n\t\t\t}\n\t\t}\n\t}\n}\n";
    const std::u16string path = library.toStdU16String();
    const COMREGREPLACEMENT replacement = {u"MODULE", path.c_str()};
    return ComRegistrarUpdate(script, COM_TRUE, &replacement, 1) == S_OK;
}

QString CInquixHarness::text(const VARIANT &value)
{
    if (value.vt != VT_BSTR)
        return QString();
    if (!value.bstrVal)
        return QStringLiteral("");
    return QString::fromUtf16(value.bstrVal, SysStringLen(value.bstrVal));
}

BSTR CInquixHarness::bstr(const QString &text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
}
