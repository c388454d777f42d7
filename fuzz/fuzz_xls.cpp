// The BIFF record walker of .xls workbooks, on any compound file.
#include <import/xlsreader.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Kuaidi::XlsReader reader;
    if (reader.openBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)))) {
        for (qsizetype i = 0; i < reader.sheetNames().size(); ++i)
            reader.readSheet(i);
    }
    return 0;
}
