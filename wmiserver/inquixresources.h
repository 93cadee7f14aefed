#pragma once

#include "combase.h"

// What the library carries with it: the project name, the registry scripts and the description of
// its type library.
#define IDS_PROJNAME 100
#define IDR_INQUIX 101
#define IDR_DEVICE 102
#define IDR_TYPELIB 1

// "{91625F50-D5D6-4251-AF2D-AC409146225D}"
extern const OLECHAR kInquixAppId[];
extern const char kInquixProjectName[];

// The registry script with that resource number, in the registrar's notation; null if none.
const char *inquixRegistryScript(int resourceId);
// The type library InquixLib 1.0 as the type-library registration records it.
const COMTYPELIBINFO &inquixTypeLibInfo();
