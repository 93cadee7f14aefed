#pragma once

#include "inquix_i.h"

#include <QString>

// What the Inquix tests share: the staged server and the fake locator library, calls of their
// exports, registration of the fake locator in the test's class registry, and texts of variants.
class CInquixHarness
{
public:
    static QString inquixPath();
    static QString fakeWmiPath();

    // dlopen with RTLD_NOW; null (and a warning) on failure. The handle is never closed, so the
    // library stays as the COM runtime sees it.
    static void *openLibrary(const QString &path);
    // Calls an export without arguments that returns an HRESULT; E_FAIL when it is missing.
    static HRESULT callExport(void *library, const char *name);

    // Enters a library (the fake locator by default) under the administrative locator's class
    // identifier, in place of the built-in one.
    static bool registerFakeLocator(const QString &library = fakeWmiPath());

    // The text of a VT_BSTR variant; a null QString for any other type.
    static QString text(const VARIANT &value);
    static BSTR bstr(const QString &text); // caller frees
};
