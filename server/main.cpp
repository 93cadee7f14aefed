#include "bxserverservice.h"

#include <QByteArray>

#include <malloc.h>

namespace {
// Every change notice reads, parses and writes its client's whole inventory file: blocks of a few
// hundred kilobytes each, about 2 MiB in all for a file of 1,500 rows (275 KB), in up to 32 workers
// at once. With the C library's defaults such blocks are mappings of their own, given back to the
// kernel when freed, and a heap's free top is trimmed past 128 KiB, so the next notice faults the
// same memory in again: at 1,500 rows about 115 page faults a notice with only the mapping
// threshold raised, 340 with only the trim threshold, 2.1 with both as below (2.5-2.9 -> 1.7-2.0 ms
// of CPU a notice). Blocks up to 1 MiB now come from the heaps, and a heap keeps up to 8 MiB of
// free top: room for all of a notice's blocks. Larger blocks stay mappings returned when freed:
// those of a list.xml of 10,000 clients (2 MB), which a client's first notice rewrites, and of
// oversized requests. Kept in the heaps (up to 4 MiB), the list's blocks left 520-640 MiB resident
// after first notices at 1,500 rows, against 165 MiB now.
// A threshold the administrator set through GLIBC_TUNABLES is left as set.
void keepRequestMemory()
{
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    if (!tunables.contains("glibc.malloc.mmap_threshold="))
        mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    if (!tunables.contains("glibc.malloc.trim_threshold="))
        mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
}
} // namespace

int main(int argc, char **argv)
{
    keepRequestMemory();
    BXServerService service(argc, argv, QStringLiteral("Bramix Server Service"));
    service.setServiceDescription(QStringLiteral("Bramix Server Service"));
    service.setServiceFlags(QtServiceBase::CanBeSuspended);
    service.setStartupType(QtServiceController::AutoStartup);
    return service.exec();
}
