// Well-known identifiers and the text form of GUIDs.

#include "ccomtext.h"
#include "combase.h"

extern "C" {

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID *pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = IID_NULL;
        return S_OK;
    }
    GUID g;
    if (!CComText::parseGuid(CComText::fromOle(lpsz), &g))
        return CO_E_CLASSSTRING;
    *pclsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid)
{
    if (!lpiid)
        return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    GUID g;
    if (!CComText::parseGuid(CComText::fromOle(lpsz), &g))
        return E_INVALIDARG;
    *lpiid = g;
    return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    const QString text = CComText::guidText(rguid);
    if (!lpsz || cchMax < int(text.size()) + 1)
        return 0;
    for (int i = 0; i < text.size(); ++i)
        lpsz[i] = text.at(i).unicode();
    lpsz[text.size()] = 0;
    return int(text.size()) + 1;
}

} // extern "C"
