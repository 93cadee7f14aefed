#include "cwbemclassobject.h"


#include <QString>

#include <climits>

namespace {
BSTR allocBstr(const QString &text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
}
} // namespace

CWbemClassObject::CWbemClassObject(const CWmiObject &object)
    : CWbemUnknown(IID_IWbemClassObject)
    , m_object(object)
{ }

HRESULT CWbemClassObject::GetQualifierSet(IWbemQualifierSet **ppQualSet)
{
    if (ppQualSet)
        *ppQualSet = nullptr;
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemClassObject::toVariant(const QVariant &value, VARIANT *out, CIMTYPE *type)
{
    CIMTYPE cim = CIM_EMPTY;
    VariantInit(out);
    // A QString that the provider could not read at all is a value WMI holds as null.
    if (!value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isNull())) {
        out->vt = VT_NULL;
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            out->vt = VT_BOOL;
            out->boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
            cim = CIM_BOOLEAN;
            break;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::SChar:
        case QMetaType::UChar:
            out->vt = VT_I4;
            out->lVal = LONG(value.toInt());
            cim = CIM_SINT32;
            break;
        case QMetaType::UInt: {
            const uint v = value.toUInt();
            cim = CIM_UINT32;
            if (v <= uint(INT_MAX)) {
                out->vt = VT_I4;
                out->lVal = LONG(v);
            } else {
                // WMI would hand the bits out as a negative VT_I4; the decimal text keeps the value.
                out->vt = VT_BSTR;
                out->bstrVal = allocBstr(QString::number(v));
            }
            break;
        }
        case QMetaType::LongLong:
        case QMetaType::Long:
            out->vt = VT_BSTR;
            out->bstrVal = allocBstr(QString::number(value.toLongLong()));
            cim = CIM_SINT64;
            break;
        case QMetaType::ULongLong:
        case QMetaType::ULong:
            out->vt = VT_BSTR;
            out->bstrVal = allocBstr(QString::number(value.toULongLong()));
            cim = CIM_UINT64;
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            out->vt = VT_R8;
            out->dblVal = value.toDouble();
            cim = CIM_REAL64;
            break;
        default:
            out->vt = VT_BSTR;
            out->bstrVal = allocBstr(value.toString());
            cim = CIM_STRING;
            break;
        }
        if (out->vt == VT_BSTR && !out->bstrVal) {
            out->vt = VT_EMPTY;
            return WBEM_E_FAILED;
        }
    }
    if (type)
        *type = cim;
    return WBEM_S_NO_ERROR;
}

HRESULT CWbemClassObject::Get(LPCOLESTR wszName, LONG lFlags, VARIANT *pVal, CIMTYPE *pType, LONG *plFlavor)
{
    if (!wszName || lFlags != 0)
        return WBEM_E_INVALID_PARAMETER;
    // Property names are matched without regard to letter case, as WMI does.
    const QString name = QString::fromUtf16(wszName);
    for (const CWmiObject::Property &p : m_object.properties()) {
        if (p.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (plFlavor)
            *plFlavor = 0;
        if (!pVal) {
            VARIANT scratch;
            const HRESULT hr = toVariant(p.value, &scratch, pType);
            VariantClear(&scratch);
            return hr;
        }
        return toVariant(p.value, pVal, pType);
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT CWbemClassObject::Put(LPCOLESTR, LONG, VARIANT *, CIMTYPE)
{
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemClassObject::Delete(LPCOLESTR)
{
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemClassObject::GetNames(LPCOLESTR wszQualifierName, LONG lFlags, VARIANT *, SAFEARRAY **pNames)
{
    if (!pNames)
        return WBEM_E_INVALID_PARAMETER;
    *pNames = nullptr;
    if (wszQualifierName)
        return WBEM_E_NOT_SUPPORTED;
    // The objects carry no system properties: asking for those alone gives an empty list, every other
    // origin condition (including the whole mask) gives all properties.
    const bool systemOnly = (lFlags & WBEM_MASK_CONDITION_ORIGIN) == WBEM_FLAG_SYSTEM_ONLY;
    const QList<CWmiObject::Property> &properties = m_object.properties();
    const ULONG count = systemOnly ? 0 : ULONG(properties.size());
    SAFEARRAY *names = SafeArrayCreateVector(VT_BSTR, 0, count);
    if (!names)
        return WBEM_E_FAILED;
    for (ULONG i = 0; i < count; ++i) {
        BSTR name = allocBstr(properties.at(qsizetype(i)).name);
        LONG index = LONG(i);
        const HRESULT hr = name ? SafeArrayPutElement(names, &index, name) : E_OUTOFMEMORY;
        SysFreeString(name);
        if (FAILED(hr)) {
            SafeArrayDestroy(names);
            return WBEM_E_FAILED;
        }
    }
    *pNames = names;
    return WBEM_S_NO_ERROR;
}
