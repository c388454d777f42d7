#pragma once

#include "sheetreader.h"

namespace Kuaidi {

/// Comma-separated text (.csv, .txt) as one sheet named after the file. The
/// bytes are read as UTF-8 when they are valid UTF-8 (a BOM is dropped), as
/// UTF-16 when they start with its BOM, and as GBK otherwise, the way Chinese
/// spreadsheet programs save CSV. Quoting follows RFC 4180; CRLF, LF and CR
/// all end a line. Cells are kept exactly as written.
class CsvReader final : public SheetReader
{
public:
    CsvReader() = default;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

    /// Splits CSV text into rows of cells. Stops, setting @p tooLarge, when
    /// the cells would pass @p maxCells.
    static SheetRows parse(QStringView text, qsizetype maxCells = MaxSheetCells, bool *tooLarge = nullptr);

private:
    QString m_text;
};

} // namespace Kuaidi
