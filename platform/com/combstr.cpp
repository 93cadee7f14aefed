// BSTR: UTF-16 text with its byte length stored just before the first character and a terminating
// NUL after the last. The block starts 8 bytes before the text so the text stays 8-byte aligned.

#include "combase.h"

#include <cstdlib>
#include <cstring>

namespace {

const size_t kHeader = 8;

inline uint32_t *lengthSlot(BSTR s)
{
    return reinterpret_cast<uint32_t *>(reinterpret_cast<char *>(s) - sizeof(uint32_t));
}

} // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui)
{
    // The byte length is kept in 32 bits; refuse what cannot be described.
    if (ui > (0x7FFFFFFFu - kHeader) / sizeof(OLECHAR) - 1)
        return nullptr;
    const size_t bytes = size_t(ui) * sizeof(OLECHAR);
    char *block = static_cast<char *>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    BSTR s = reinterpret_cast<BSTR>(block + kHeader);
    *lengthSlot(s) = uint32_t(bytes);
    if (strIn)
        std::memcpy(s, strIn, bytes);
    else
        std::memset(s, 0, bytes);
    s[ui] = 0;
    return s;
}

BSTR SysAllocString(const OLECHAR *psz)
{
    if (!psz)
        return nullptr;
    UINT n = 0;
    while (psz[n])
        ++n;
    return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<char *>(bstrString) - kHeader);
}

UINT SysStringLen(BSTR pbstr)
{
    if (!pbstr)
        return 0;
    return *lengthSlot(pbstr) / sizeof(OLECHAR);
}

} // extern "C"
