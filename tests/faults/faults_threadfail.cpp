// Loaded into a server process with LD_PRELOAD: while the file named by BRAMIX_FAULT_THREADS_FILE
// exists, every new thread fails to start, as when a process is out of threads; otherwise threads
// start as usual.
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

namespace {
using CreateFunction = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
}

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    static const CreateFunction next = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    const char *flag = std::getenv("BRAMIX_FAULT_THREADS_FILE");
    if (!next || (flag && ::access(flag, F_OK) == 0))
        return EAGAIN;
    return next(thread, attr, start, arg);
}
