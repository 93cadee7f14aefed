#pragma once

#include "cwbemunknown.h"
#include "cwmiobject.h"
#include "wbeminterfaces.h"

// One instance as the callers of WMI see it: its property names in the provider's order and each
// value as a VARIANT of the type WMI uses for it.
class CWbemClassObject : public CWbemUnknown<IWbemClassObject>
{
public:
    explicit CWbemClassObject(const CWmiObject &object);

    HRESULT GetQualifierSet(IWbemQualifierSet **ppQualSet) override;
    HRESULT Get(LPCOLESTR wszName, LONG lFlags, VARIANT *pVal, CIMTYPE *pType, LONG *plFlavor) override;
    HRESULT Put(LPCOLESTR wszName, LONG lFlags, VARIANT *pVal, CIMTYPE Type) override;
    HRESULT Delete(LPCOLESTR wszName) override;
    HRESULT GetNames(LPCOLESTR wszQualifierName, LONG lFlags, VARIANT *pQualifierVal, SAFEARRAY **pNames) override;

    // Fills an initialised or empty VARIANT: strings VT_BSTR, 32-bit integers VT_I4, booleans VT_BOOL,
    // reals VT_R8, 64-bit integers VT_BSTR in decimal (as WMI hands out uint64 and sint64), null VT_NULL.
    static HRESULT toVariant(const QVariant &value, VARIANT *out, CIMTYPE *type);

private:
    ~CWbemClassObject() override = default;
    const CWmiObject m_object;
};
