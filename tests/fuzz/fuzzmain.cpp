// One libFuzzer program per target; BRAMIX_FUZZ_ENTRY names the target's body.
#include "cfuzzhome.h"
#ifdef BRAMIX_FUZZ_CLIENT
#include "cfuzzcliententries.h"
#else
#include "cfuzzentries.h"
#endif

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    CFuzzHome::enter(*argv);
    // Kept for the life of the process: the store asks it for the program's directory.
    static QCoreApplication *app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString failure = BRAMIX_FUZZ_ENTRY(input);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
