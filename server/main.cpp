#include "bxserverservice.h"

#include <malloc.h>

namespace {
// Every change notice reads, parses and writes its client's whole inventory file: blocks of a few
// hundred kilobytes to about a megabyte per notice (a file of 1,500 rows is 275 KB, twice that as
// text), in up to 32 workers at once. The C library's defaults give such blocks back to the kernel
// as soon as they are freed (each one is a mapping of its own, and the free top of a worker's heap
// is trimmed), and the next notice faults the same amount in again: about 250 page faults and
// 2.8 ms of CPU per notice at 1,500 rows, a third of that time in the kernel. With blocks up to
// 4 MiB served from the heaps and up to 64 MiB of free top kept per heap, a notice takes 3 page
// faults and 2.0 ms. Larger blocks (the rare oversized request) are still mapped and returned at
// once, so memory stays bounded by the workers' usual need.
void keepRequestMemory()
{
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
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
