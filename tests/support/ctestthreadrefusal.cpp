#include "ctestthreadrefusal.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <pthread.h>

namespace {

std::atomic<int> g_mode {CTestThreadRefusal::None};
std::atomic<int> g_asked {0};
std::atomic<int> g_refused {0};

} // namespace

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const Create next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    const int mode = g_mode;
    if (mode == CTestThreadRefusal::All || (mode == CTestThreadRefusal::EveryOther && g_asked++ % 2 == 1)) {
        ++g_refused;
        return EAGAIN;
    }
    return next(thread, attr, start, arg);
}

void CTestThreadRefusal::set(Mode mode)
{
    g_mode = mode;
}

void CTestThreadRefusal::resetCounts()
{
    g_asked = 0;
    g_refused = 0;
}

int CTestThreadRefusal::refused()
{
    return g_refused;
}
