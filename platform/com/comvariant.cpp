// VARIANT handling. Conversion to text is fixed to the C locale whatever the thread's locale is,
// so the inventory text a machine produces never depends on its language settings:
//   integers     decimal, '-' for negatives
//   VT_R4, VT_R8 the shortest text that reads back to the same value, '.' as decimal separator,
//                an exponent ("1e+20") only where that is shorter; "nan", "inf", "-inf"
//   VT_CY        the value in units with up to four decimals, trailing zeros dropped ("12.5")
//   VT_BOOL      "True" or "False"
//   VT_DATE      "yyyy-MM-dd hh:mm:ss", rounded to the second (years 100 to 9999)
//   VT_BSTR      copied
// VT_EMPTY and VT_NULL have no text: they fail with DISP_E_TYPEMISMATCH, as do interfaces, errors
// and arrays. VT_BYREF sources are converted from what they point to.

#include "combase.h"
#include "cvartype.h"

#include <QDate>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool isKnownType(VARTYPE vt)
{
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_VARIANT:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        break;
    default:
        return false;
    }
    const VARTYPE flags = vt & ~VARTYPE(VT_TYPEMASK);
    return (flags & ~VARTYPE(VT_ARRAY | VT_BYREF)) == 0;
}

BSTR bstrFromLatin1(const char *text, size_t n)
{
    BSTR s = SysAllocStringLen(nullptr, UINT(n));
    if (!s)
        return nullptr;
    for (size_t i = 0; i < n; ++i)
        s[i] = OLECHAR(static_cast<unsigned char>(text[i]));
    return s;
}

template<typename T> HRESULT integerText(T value, BSTR *out)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    *out = bstrFromLatin1(buf, size_t(r.ptr - buf));
    return *out ? S_OK : E_OUTOFMEMORY;
}

template<typename T> HRESULT realText(T value, BSTR *out)
{
    if (std::isnan(value))
        *out = bstrFromLatin1("nan", 3);
    else if (std::isinf(value))
        *out = value < 0 ? bstrFromLatin1("-inf", 4) : bstrFromLatin1("inf", 3);
    else {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        *out = bstrFromLatin1(buf, size_t(r.ptr - buf));
    }
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT currencyText(LONGLONG units, BSTR *out)
{
    const bool negative = units < 0;
    const ULONGLONG magnitude = negative ? ULONGLONG(0) - ULONGLONG(units) : ULONGLONG(units);
    QString text = QString::number(magnitude / 10000);
    ULONGLONG fraction = magnitude % 10000;
    if (fraction) {
        QString digits = QString::number(fraction).rightJustified(4, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    if (negative)
        text.prepend(QLatin1Char('-'));
    const QByteArray latin = text.toLatin1();
    *out = bstrFromLatin1(latin.constData(), size_t(latin.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// An automation date counts days from 1899-12-30; the fraction is the time of day, forward from
// that day's midnight also for negative days (-1.25 is 1899-12-29 06:00).
HRESULT dateText(DATE value, BSTR *out)
{
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0)
        return DISP_E_OVERFLOW;
    double whole = std::trunc(value);
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += value < 0 ? -1 : 1;
    }
    const QDate day = QDate(1899, 12, 30).addDays(qint64(whole));
    if (!day.isValid() || day.year() > 9999)
        return DISP_E_OVERFLOW;
    const QString text = QString::asprintf("%04d-%02d-%02d %02lld:%02lld:%02lld", day.year(), day.month(), day.day(),
        seconds / 3600, (seconds / 60) % 60, seconds % 60);
    const QByteArray latin = text.toLatin1();
    *out = bstrFromLatin1(latin.constData(), size_t(latin.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The value a VT_BYREF variant points to, as a plain variant (no ownership taken).
HRESULT dereference(const VARIANT *src, VARIANT *plain)
{
    VariantInit(plain);
    const VARTYPE base = src->vt & VT_TYPEMASK;
    if (!src->byref)
        return E_INVALIDARG;
    if (src->vt & VT_ARRAY) {
        plain->vt = VARTYPE(VT_ARRAY | base);
        plain->parray = *static_cast<SAFEARRAY **>(src->byref);
        return S_OK;
    }
    if (base == VT_VARIANT) {
        *plain = *src->pvarVal;
        return S_OK;
    }
    plain->vt = base;
    const ULONG size = CVarType::size(base);
    if (size == 0)
        return DISP_E_BADVARTYPE;
    std::memcpy(&plain->llVal, src->byref, size);
    return S_OK;
}

HRESULT toText(const VARIANT *src, BSTR *out, int depth = 0)
{
    *out = nullptr;
    if (!isKnownType(src->vt))
        return DISP_E_BADVARTYPE;
    if (src->vt & VT_BYREF) {
        if (depth > 4)
            return DISP_E_TYPEMISMATCH;
        VARIANT plain;
        const HRESULT hr = dereference(src, &plain);
        if (FAILED(hr))
            return hr;
        return toText(&plain, out, depth + 1);
    }
    if (src->vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;
    switch (src->vt) {
    case VT_I1:
        return integerText(int(src->cVal), out);
    case VT_UI1:
        return integerText(unsigned(src->bVal), out);
    case VT_I2:
        return integerText(int(src->iVal), out);
    case VT_UI2:
        return integerText(unsigned(src->uiVal), out);
    case VT_I4:
        return integerText(src->lVal, out);
    case VT_INT:
        return integerText(src->intVal, out);
    case VT_UI4:
        return integerText(src->ulVal, out);
    case VT_UINT:
        return integerText(src->uintVal, out);
    case VT_I8:
        return integerText(src->llVal, out);
    case VT_UI8:
        return integerText(src->ullVal, out);
    case VT_R4:
        return realText(src->fltVal, out);
    case VT_R8:
        return realText(src->dblVal, out);
    case VT_CY:
        return currencyText(src->llVal, out);
    case VT_BOOL:
        *out = src->boolVal ? bstrFromLatin1("True", 4) : bstrFromLatin1("False", 5);
        return *out ? S_OK : E_OUTOFMEMORY;
    case VT_DATE:
        return dateText(src->date, out);
    case VT_BSTR:
        *out = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        return *out ? S_OK : E_OUTOFMEMORY;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

extern "C" {

void VariantInit(VARIANTARG *pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->llVal = 0;
}

HRESULT VariantClear(VARIANTARG *pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (!isKnownType(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else {
            switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal)
                    pvarg->punkVal->Release();
                break;
            default:
                break;
            }
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!isKnownType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if (!(pvargSrc->vt & VT_BYREF)) {
        if (pvargSrc->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr))
                return hr;
        } else if (pvargSrc->vt == VT_BSTR) {
            copy.bstrVal = nullptr;
            if (pvargSrc->bstrVal) {
                copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
                if (!copy.bstrVal)
                    return E_OUTOFMEMORY;
            }
        } else if ((pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) && pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
    }
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT wFlags, VARTYPE vt)
{
    (void)wFlags; // booleans always become "True"/"False"; there is no value property to fetch
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!isKnownType(pvarSrc->vt) || !isKnownType(vt))
        return DISP_E_BADVARTYPE;
    if (vt == pvarSrc->vt)
        return VariantCopy(pvargDest, pvarSrc);
    if (vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    BSTR text = nullptr;
    const HRESULT hr = toText(pvarSrc, &text);
    if (FAILED(hr))
        return hr;
    // The source may be the destination itself: clear only once the text is made.
    const HRESULT cleared = VariantClear(pvargDest);
    if (FAILED(cleared)) {
        SysFreeString(text);
        return cleared;
    }
    pvargDest->vt = VT_BSTR;
    pvargDest->bstrVal = text;
    return S_OK;
}

} // extern "C"
