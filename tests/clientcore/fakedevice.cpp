// A stand-in for Inquix's Device object with fixed answers, registered by tests under the Device's
// ProgID. The answers come from the JSON file named by BRAMIX_FAKE_DEVICE_ANSWERS, read at every
// query: {"<WQL text>": "<answer>"} answers the text, null leaves the result empty, {"throw": true}
// throws; a WQL text not listed is answered with the empty text (no object found).

#include "combase.h"
#include "ctestclassfactory.h"
#include "ctestcomobject.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <stdexcept>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// {6C3E1A90-5B7D-4E0B-9F21-3A4D5C6B7E80}
constexpr CLSID kFakeClsid = {0x6C3E1A90, 0x5B7D, 0x4E0B, {0x9F, 0x21, 0x3A, 0x4D, 0x5C, 0x6B, 0x7E, 0x80}};

std::atomic<int> g_liveObjects {0};
std::atomic<int> g_queries {0};

QString fromBstr(BSTR b)
{
    return b ? QString::fromUtf16(b, SysStringLen(b)) : QString();
}

class FakeDevice final : public CTestComObject<IDispatch, std::atomic<int>>
{
public:
    FakeDevice()
        : CTestComObject(IID_IDispatch, g_liveObjects)
    { }

    HRESULT GetTypeInfoCount(UINT *count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        if (count < 1 || !names || !ids)
            return E_INVALIDARG;
        if (QString::fromUtf16(names[0]).compare(QLatin1String("query"), Qt::CaseInsensitive) == 0) {
            ids[0] = 3;
            for (UINT i = 1; i < count; ++i)
                ids[i] = DISPID_UNKNOWN;
            return S_OK;
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *result, EXCEPINFO *, UINT *) override
    {
        if (id != 3)
            return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs < 1)
            return DISP_E_BADPARAMCOUNT;
        // Arguments come last first: the SQL text is the last one, an out-argument may precede it.
        VARIANT *sql = &params->rgvarg[params->cArgs - 1];
        QString wql;
        if (sql->vt == VT_BSTR)
            wql = fromBstr(sql->bstrVal);
        else if (sql->vt == (VT_BSTR | VT_BYREF) && sql->pbstrVal)
            wql = fromBstr(*sql->pbstrVal);
        else
            return DISP_E_TYPEMISMATCH;
        VARIANT *out = result;
        if (!out && params->cArgs >= 2 && params->rgvarg[0].vt == (VT_VARIANT | VT_BYREF))
            out = params->rgvarg[0].pvarVal;
        ++g_queries;

        QFile file(qEnvironmentVariable("BRAMIX_FAKE_DEVICE_ANSWERS"));
        QJsonObject answers;
        if (file.open(QIODevice::ReadOnly))
            answers = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonValue answer = answers.value(wql);
        if (answer.isObject() && answer.toObject().value(QLatin1String("throw")).toBool())
            throw std::runtime_error("fake device failure");
        if (answer.isNull())
            return S_OK; // the result stays empty
        if (out) {
            VariantClear(out);
            const QString text = answer.toString();
            out->vt = VT_BSTR;
            out->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
        }
        return S_OK;
    }
};

IUnknown *createDevice()
{
    return new FakeDevice;
}

CTestClassFactory g_factory(createDevice);

} // namespace

FAKE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void **ppv)
{
    if (clsid != kFakeClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

FAKE_EXPORT HRESULT DllCanUnloadNow()
{
    return g_liveObjects == 0 ? S_OK : S_FALSE;
}

FAKE_EXPORT int FakeDeviceLiveObjects()
{
    return g_liveObjects;
}

FAKE_EXPORT int FakeDeviceQueries()
{
    return g_queries;
}
