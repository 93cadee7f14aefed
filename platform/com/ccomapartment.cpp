#include "ccomapartment.h"

#include <atomic>

namespace {

const LCID kEnglishUnitedStates = 0x0409;

struct ApartmentState
{
    ULONG initCount;
    DWORD mode;
    LCID locale;
};

thread_local ApartmentState t_state = {0, 0, 0};
std::atomic<bool> g_securityInitialised(false);

} // namespace

HRESULT CComApartment::enter(DWORD coInit)
{
    const DWORD mode = (coInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (t_state.initCount > 0) {
        if (t_state.mode != mode)
            return RPC_E_CHANGED_MODE;
        ++t_state.initCount;
        return S_FALSE;
    }
    t_state.mode = mode;
    t_state.initCount = 1;
    return S_OK;
}

void CComApartment::leave()
{
    if (t_state.initCount > 0)
        --t_state.initCount;
}

bool CComApartment::isEntered()
{
    return t_state.initCount > 0;
}

HRESULT CComApartment::initializeSecurity()
{
    bool expected = false;
    if (g_securityInitialised.compare_exchange_strong(expected, true))
        return S_OK;
    return RPC_E_TOO_LATE;
}

LCID CComApartment::threadLocale()
{
    return t_state.locale ? t_state.locale : kEnglishUnitedStates;
}

bool CComApartment::setThreadLocale(LCID lcid)
{
    if (lcid == LOCALE_SYSTEM_DEFAULT || lcid == LOCALE_USER_DEFAULT)
        lcid = kEnglishUnitedStates;
    // The primary language (low 10 bits) must name a language.
    if ((lcid & 0x3FF) == 0)
        return false;
    t_state.locale = lcid;
    return true;
}
