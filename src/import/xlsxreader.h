#pragma once

#include "sheetreader.h"

typedef struct zip zip_t;

namespace Kuaidi {

/// Office Open XML workbooks (.xlsx). Numbers come out through numberToText;
/// dates are stored as day numbers in the file and come out as those plain
/// numbers, since the cell formats are not read. Formula cells give the value
/// last computed by the program that saved the file.
class XlsxReader final : public SheetReader
{
public:
    XlsxReader() = default;
    ~XlsxReader() override;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

private:
    struct Sheet
    {
        QString part; // path of the worksheet inside the archive
    };

    std::optional<QByteArray> readPart(const QString &part, bool required);
    bool readSharedStrings(const QString &part);

    QByteArray m_file; // the whole file, which m_zip reads
    zip_t *m_zip = nullptr;
    QList<Sheet> m_sheets;
    QStringList m_sharedStrings;
};

} // namespace Kuaidi
