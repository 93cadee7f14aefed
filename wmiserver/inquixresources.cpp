#include "inquixresources.h"

#include "inquix_i.h"

const OLECHAR kInquixAppId[] = u"{91625F50-D5D6-4251-AF2D-AC409146225D}";
const char kInquixProjectName[] = "Inquix";

namespace {

// AppID script. The AppID key itself is shared by every server and never removed.
const char kAppIdScript[] = R"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'Inquix'
		'Inquix.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
)";

// Class script: both ProgIDs and the class key. The class key is rewritten whole at every
// registration, so nothing of an earlier one survives below it.
const char kDeviceScript[] = R"(HKCR
{
	Inquix.Device.1 = s 'Device Class'
	{
		CLSID = s '{D1CA6332-0E8E-41E3-853C-703C03EA05A4}'
	}
	Inquix.Device = s 'Device Class'
	{
		CLSID = s '{D1CA6332-0E8E-41E3-853C-703C03EA05A4}'
		CurVer = s 'Inquix.Device.1'
	}
	NoRemove CLSID
	{
		ForceRemove {D1CA6332-0E8E-41E3-853C-703C03EA05A4} = s 'Device Class'
		{
			ProgID = s 'Inquix.Device.1'
			VersionIndependentProgID = s 'Inquix.Device'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			val AppID = s '%APPID%'
			'TypeLib' = s '{F15C2301-7507-4C15-A2F5-777F134E92A9}'
		}
	}
}
)";

} // namespace

const char *inquixRegistryScript(int resourceId)
{
    switch (resourceId) {
    case IDR_INQUIX:
        return kAppIdScript;
    case IDR_DEVICE:
        return kDeviceScript;
    default:
        return nullptr;
    }
}

const COMTYPELIBINFO &inquixTypeLibInfo()
{
    // Help strings: "Inquix 1.0 type library" and "IDevice interface", in Chinese as shipped.
    static const COMTYPELIBINFO info
        = {LIBID_InquixLib, 1, 0, 0x409, u"InquixLib", u"Inquix 1.0 \u7c7b\u578b\u5e93", IID_IDevice, u"IDevice"};
    return info;
}
