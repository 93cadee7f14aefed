// One-dimensional safe arrays. Elements of type BSTR, VARIANT and interface pointers are owned by
// the array: put copies them in, get copies them out, destroy frees them.

#include "combase.h"
#include "cvartype.h"

#include <cstdlib>
#include <cstring>

namespace {

void *elementAt(SAFEARRAY *psa, ULONG index)
{
    return static_cast<char *>(psa->pvData) + size_t(index) * psa->cbElements;
}

HRESULT indexOf(SAFEARRAY *psa, LONG *rgIndices, ULONG *index)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    const int64_t offset = int64_t(rgIndices[0]) - psa->rgsabound[0].lLbound;
    if (offset < 0 || offset >= int64_t(psa->rgsabound[0].cElements))
        return DISP_E_BADINDEX;
    *index = ULONG(offset);
    return S_OK;
}

void releaseElement(VARTYPE vt, void *p)
{
    switch (vt) {
    case VT_BSTR: {
        BSTR *s = static_cast<BSTR *>(p);
        SysFreeString(*s);
        *s = nullptr;
        break;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown **u = static_cast<IUnknown **>(p);
        if (*u)
            (*u)->Release();
        *u = nullptr;
        break;
    }
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT *>(p));
        break;
    default:
        break;
    }
}

// Copies one element from src (the element's storage) into dest (uninitialised storage).
HRESULT copyElement(VARTYPE vt, void *dest, const void *src, ULONG size)
{
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<BSTR const *>(src);
        BSTR copy = nullptr;
        if (s) {
            copy = SysAllocStringLen(s, SysStringLen(s));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR *>(dest) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown *u = *static_cast<IUnknown *const *>(src);
        if (u)
            u->AddRef();
        *static_cast<IUnknown **>(dest) = u;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT *>(dest));
        return VariantCopy(static_cast<VARIANT *>(dest), static_cast<const VARIANT *>(src));
    default:
        std::memcpy(dest, src, size);
        return S_OK;
    }
}

} // namespace

extern "C" {

SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    const ULONG size = CVarType::size(vt);
    if (size == 0)
        return nullptr;
    SAFEARRAY *psa = static_cast<SAFEARRAY *>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!psa)
        return nullptr;
    psa->cDims = 1;
    psa->cbElements = size;
    psa->vt = vt;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    // calloc leaves every BSTR and interface slot null and every VARIANT VT_EMPTY.
    psa->pvData = std::calloc(cElements ? cElements : 1, size);
    if (!psa->pvData) {
        std::free(psa);
        return nullptr;
    }
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY *psa)
{
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i)
        releaseElement(psa->vt, elementAt(psa, i));
    std::free(psa->pvData);
    std::free(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY *psa, SAFEARRAY **ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    SAFEARRAY *copy = SafeArrayCreateVector(psa->vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements);
    if (!copy)
        return E_OUTOFMEMORY;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        const HRESULT hr = copyElement(psa->vt, elementAt(copy, i), elementAt(psa, i), psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY *psa, UINT nDim, LONG *plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY *psa, UINT nDim, LONG *plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim != 1)
        return DISP_E_BADINDEX;
    *plUbound = LONG(int64_t(psa->rgsabound[0].lLbound) + int64_t(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY *psa, LONG *rgIndices, void *pv)
{
    if (!pv)
        return E_INVALIDARG;
    ULONG index = 0;
    const HRESULT hr = indexOf(psa, rgIndices, &index);
    if (FAILED(hr))
        return hr;
    return copyElement(psa->vt, pv, elementAt(psa, index), psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY *psa, LONG *rgIndices, void *pv)
{
    ULONG index = 0;
    const HRESULT hr = indexOf(psa, rgIndices, &index);
    if (FAILED(hr))
        return hr;
    void *slot = elementAt(psa, index);
    // BSTR and interface elements are passed as the value itself, everything else by address.
    switch (psa->vt) {
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        void *value = pv;
        void *fresh = nullptr;
        const HRESULT c = copyElement(psa->vt, &fresh, &value, psa->cbElements);
        if (FAILED(c))
            return c;
        releaseElement(psa->vt, slot);
        std::memcpy(slot, &fresh, sizeof(void *));
        return S_OK;
    }
    default: {
        if (!pv)
            return E_INVALIDARG;
        if (psa->vt == VT_VARIANT) {
            VARIANT fresh;
            const HRESULT c = copyElement(VT_VARIANT, &fresh, pv, psa->cbElements);
            if (FAILED(c))
                return c;
            releaseElement(VT_VARIANT, slot);
            std::memcpy(slot, &fresh, sizeof(VARIANT));
            return S_OK;
        }
        std::memcpy(slot, pv, psa->cbElements);
        return S_OK;
    }
    }
}

} // extern "C"
