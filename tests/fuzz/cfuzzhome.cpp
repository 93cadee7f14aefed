#include "cfuzzhome.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <ftw.h>

namespace {

const char kMarker[] = "BRAMIX_FUZZ_HOME_PID";

bool copyFile(const char *from, const char *to)
{
    const int in = ::open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700);
    bool ok = out >= 0;
    char buf[1 << 16];
    ssize_t n;
    while (ok && (n = ::read(in, buf, sizeof buf)) > 0)
        ok = ::write(out, buf, size_t(n)) == n;
    ::close(in);
    if (out >= 0)
        ok = ::close(out) == 0 && ok;
    return ok;
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

} // namespace

void CFuzzHome::enter(char **argv)
{
    // A process started by one of ours (libFuzzer's -jobs) gets a directory of its own too.
    const char *marker = ::getenv(kMarker);
    if (marker && std::atol(marker) == long(::getpid()))
        return;

    char exe[4096];
    const ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len <= 0)
        std::abort();
    exe[len] = 0;
    const char *tmp = ::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bramix-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        std::abort();
    const char *base = std::strrchr(exe, '/');
    const std::string copy = pattern + "/" + (base ? base + 1 : exe);
    if (::link(exe, copy.c_str()) != 0 && !copyFile(exe, copy.c_str()))
        std::abort();

    const pid_t pid = ::fork();
    if (pid < 0)
        std::abort();
    if (pid == 0) {
        ::setenv(kMarker, std::to_string(::getpid()).c_str(), 1);
        argv[0] = const_cast<char *>(copy.c_str());
        ::execv(copy.c_str(), argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    ::nftw(pattern.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        ::raise(WTERMSIG(status));
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}
