#pragma once

#include "sheetreader.h"

namespace Kuaidi {

/// Comma-separated text (.csv, .txt) as one sheet named after the file. The
/// encoding is decided on the whole file: a byte-order mark names it; else the
/// bytes are UTF-8 when they are, or when the few that are not (a byte
/// damaged in a UTF-8 file) are far outnumbered by the valid characters
/// (read as U+FFFD, with a warning naming their lines); else GB18030, the
/// superset of the GBK that Chinese spreadsheet programs save CSV in.
/// Quoting follows RFC 4180; CRLF, LF and CR all end a line. Cells are kept
/// exactly as written.
class CsvReader final : public SheetReader
{
public:
    /// @p encoding, when given, decides instead of the bytes.
    explicit CsvReader(const QString &encoding = {}) : m_encoding(encoding) {}

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

    /// Splits CSV text into rows of cells, each numbered by the line it
    /// starts on. Stops, with nothing, once the cells or their characters
    /// pass @p budget's limits.
    static SheetRows parse(QStringView text, SheetBudget *budget = nullptr);

    /// @p bytes as text, by the rules above; warnings for bytes that are
    /// not valid text go to @p warnings.
    static QString decode(QByteArray bytes, QStringList *warnings = nullptr);

private:
    QString m_encoding;
    QString m_text;
};

} // namespace Kuaidi
