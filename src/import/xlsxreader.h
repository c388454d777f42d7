#pragma once

#include "numberformat.h"
#include "sheetreader.h"

#include <memory>

namespace Kuaidi {

class ZipPackage;

/// Office Open XML workbooks (.xlsx). Numbers come out through numberToText,
/// and a number whose cell format is a date or time as the same text an .xls
/// gives ("2024-01-15", "08:30:00"). Formula cells give the value last
/// computed by the program that saved the file.
class XlsxReader final : public SheetReader
{
public:
    XlsxReader();
    ~XlsxReader() override;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

private:
    bool readSharedStrings();
    bool readStyles(const QString &part);
    QString numberCell(const QString &raw, qsizetype style) const;
    QString dateCell(const QString &raw, qsizetype style) const;

    std::unique_ptr<ZipPackage> m_package;
    QStringList m_sheetParts; // paths of the worksheets inside the archive
    QString m_sharedStringsPart;
    bool m_sharedStringsRead = false;
    QStringList m_sharedStrings;
    QList<DateKind> m_styleKinds; // cell format (s="N") → what it shows
    bool m_date1904 = false;
};

} // namespace Kuaidi
