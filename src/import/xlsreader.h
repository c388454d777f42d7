#pragma once

#include "sheetreader.h"

#include <QHash>

namespace Kuaidi {

/// Excel 97–2003 workbooks (.xls), read with FreeXL. FreeXL leaves formula
/// cells empty and reads TRUE/FALSE and error cells as 1/0, so the workbook
/// stream is also walked here for those cells' stored results. Date cells come
/// out as FreeXL writes them ("2024-01-15", "2024-01-15 08:30:00", "08:30:00");
/// a formula whose result is a date gives the day number.
class XlsReader final : public SheetReader
{
public:
    XlsReader() = default;
    ~XlsReader() override;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

private:
    // Row in the high half, column in the low half.
    using CellTexts = QHash<quint32, QString>;

    struct Sheet
    {
        unsigned short freexlIndex = 0;
        CellTexts computed; // formula results, booleans and errors
    };

    bool scanWorkbookStream(const QByteArray &file);

    const void *m_handle = nullptr;
    QList<Sheet> m_sheets;
    // Per BOUNDSHEET record, in workbook order.
    QList<CellTexts> m_scanned;
    QList<bool> m_isWorksheet;
    bool m_encrypted = false;
};

} // namespace Kuaidi
