// The WMI identifiers the Device object asks for, linked into the library itself as a static
// identifier library would be: Inquix depends on the COM runtime alone and reaches WMI through the
// class registry. Hidden like everything but the entry points, so they never clash with the
// runtime's own copies.

#include "wbeminterfaces.h"

extern "C" {
const CLSID CLSID_WbemAdministrativeLocator
    = {0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
const IID IID_IWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
}
