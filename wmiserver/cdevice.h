#pragma once

#include "inquix_i.h"
#include "wbeminterfaces.h"

#include <string>

// The Device object: answers WQL queries through WMI with one text. Apartment-threaded: every call
// arrives on the creating thread, so the reference count is a plain counter. Aggregatable: with an
// outer object, IUnknown of IDevice delegates to it and the outer holds the inner unknown.
class CDevice final : public IDevice
{
public:
    // Makes a Device object and queries it for riid (IID_IUnknown only when outer is given).
    static HRESULT createInstance(IUnknown *outer, REFIID riid, void **ppv);
    // Writes (bRegister) or removes the class's registry entries.
    static HRESULT UpdateRegistry(bool bRegister);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch, served by hand: no type information is handed out
    HRESULT GetTypeInfoCount(UINT *pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
        VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override;

    // IDevice
    HRESULT getCPU(VARIANT *pvarInfo) override;
    HRESULT getINFO(BSTR bstrWMIClass, VARIANT *pvarResult) override;
    HRESULT query(BSTR bstrSQL, VARIANT *pvarResult) override;

private:
    // The non-delegating unknown: owns the object's lifetime.
    class CInnerUnknown final : public IUnknown
    {
    public:
        explicit CInnerUnknown(CDevice *device)
            : m_device(device)
        { }
        HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
        ULONG AddRef() override;
        ULONG Release() override;

    private:
        CDevice *m_device;
    };

    explicit CDevice(IUnknown *outer);
    ~CDevice();

    // Drops the previous connection, then opens a new locator and a connection to root\cimv2.
    // S_OK when connected; otherwise S_FALSE with the error text in pvarResult.
    HRESULT connectWmi(VARIANT *pvarResult);
    void releaseWmi();
    // Runs the query and gathers the text; false when WMI refuses the query.
    bool runQuery(BSTR wql, bool joinWithCaret, bool filterProperties, std::string &text);
    HRESULT invokeMethod(DISPID dispIdMember, DISPPARAMS *pDispParams, VARIANT *pVarResult, UINT *puArgErr);

    ULONG m_refCount;
    IWbemLocator *m_locator;
    IWbemServices *m_services;
    CInnerUnknown m_inner;
    IUnknown *m_outer; // the controlling unknown: the outer object, or m_inner
};
