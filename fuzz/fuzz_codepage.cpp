// Legacy text decoding: every code page Excel 95 files name, encodings by
// name, and the choice between UTF-8 and GB18030 made for text files.
#include <import/codepage.h>
#include <import/csvreader.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const int codePages[] = {936,  950,  932,  949,  1250,  1251,  1252,  1253,  1254,
                                    1255, 1256, 1257, 1258, 10000, 10006, 10007, 10029, 10081,
                                    437,  850,  874,  1200, 1201,  65001, 32768, 54936, 0};
    const int codePage = codePages[data[0] % (sizeof codePages / sizeof *codePages)];
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    Kuaidi::decodeCodePage(bytes, codePage);
    static const QString names[] = {QStringLiteral("GB18030"), QStringLiteral("big5"),
                                    QStringLiteral("utf-8"), QStringLiteral("shift_jis"),
                                    QStringLiteral("no-such-encoding")};
    Kuaidi::decodeEncoding(bytes, names[data[0] % 5]);
    QStringList warnings;
    Kuaidi::CsvReader::decode(bytes.toByteArray(), &warnings);
    return 0;
}
