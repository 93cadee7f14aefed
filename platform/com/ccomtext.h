#pragma once

#include "combase.h"

#include <QString>

// Conversions between the runtime's UTF-16 strings and GUIDs and the toolkit's strings, shared by
// the runtime's parts.
class CComText
{
public:
    static QString fromOle(const OLECHAR *text);
    static QString fromBstr(BSTR text); // keeps embedded NULs: uses the stored length
    static BSTR toBstr(const QString &text); // new string, owned by the caller

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    static QString guidText(const GUID &guid);
    // Accepts exactly the braced form, hex digits in either case.
    static bool parseGuid(const QString &text, GUID *guid);
};
