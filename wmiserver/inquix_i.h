#pragma once

// The interface description of Inquix: the identifiers of the library, the class and its one
// interface, and IDevice as callers bind to it early. Late-bound callers reach the same methods
// through IDispatch by name or by DISPID.

#include "combase.h"

// {F15C2301-7507-4C15-A2F5-777F134E92A9}
inline constexpr GUID LIBID_InquixLib = {0xF15C2301, 0x7507, 0x4C15, {0xA2, 0xF5, 0x77, 0x7F, 0x13, 0x4E, 0x92, 0xA9}};
// {28211449-F0EF-4A6A-906F-CCAA1A10DA56}
inline constexpr IID IID_IDevice = {0x28211449, 0xF0EF, 0x4A6A, {0x90, 0x6F, 0xCC, 0xAA, 0x1A, 0x10, 0xDA, 0x56}};
// {D1CA6332-0E8E-41E3-853C-703C03EA05A4}, coclass Device
inline constexpr CLSID CLSID_Device = {0xD1CA6332, 0x0E8E, 0x41E3, {0x85, 0x3C, 0x70, 0x3C, 0x03, 0xEA, 0x05, 0xA4}};

#define DISPID_IDEVICE_GETCPU 1
#define DISPID_IDEVICE_GETINFO 2
#define DISPID_IDEVICE_QUERY 3

// Dual interface: after the slots of IDispatch come the three methods, in this order. The result
// argument is written, never read: the caller passes an empty (or uninitialised) VARIANT and frees
// what comes back with VariantClear.
struct IDevice : public IDispatch
{
    virtual HRESULT getCPU(VARIANT *pvarInfo) = 0;
    virtual HRESULT getINFO(BSTR bstrWMIClass, VARIANT *pvarResult) = 0;
    virtual HRESULT query(BSTR bstrSQL, VARIANT *pvarResult) = 0;

protected:
    ~IDevice() = default;
};
