// The compound file container of .xls workbooks, on any bytes.
#include <import/compoundfile.h>

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Kuaidi::CompoundFile file;
    if (file.load(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)))) {
        for (const char16_t *name : {u"Workbook", u"Book", u"EncryptedPackage"})
            file.stream(QString::fromUtf16(name));
    }
    return 0;
}
