// Access databases through Workbook, as the windows and the command line use
// them: the bytes are read by the kuaidi-access helper in a process of its
// own, whose faults and limits must come back as messages, never as a crash
// or hang of the program.
#include "fuzzworkbook.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The helper is found beside the running program.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzWorkbook(data, size, "mdb");
}
