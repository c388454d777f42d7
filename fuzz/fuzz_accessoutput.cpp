// What the kuaidi-access helper writes, as the program reads it: a helper
// cut off, killed or confused mid-frame must read as a damaged file.
#include <import/accessreader.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView output(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &encoding : {QStringLiteral("GBK"), QStringLiteral("windows-1252")})
        Kuaidi::AccessReader::parseOutput(output, encoding);
    return 0;
}
