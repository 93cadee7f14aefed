#pragma once

#include "combase.h"

// Facts about variant types shared by the variant and safe-array code.
class CVarType
{
public:
    // Bytes one value of the plain type vt takes (a pointer for strings and interfaces); 0 for a
    // type that has no fixed-size value.
    static ULONG size(VARTYPE vt);
};
