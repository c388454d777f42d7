#include "sheettable.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

bool isBlank(QStringView text)
{
    for (const QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// One past the last non-blank cell.
qsizetype usedWidth(const QStringList &row)
{
    for (qsizetype c = row.size(); c > 0; --c) {
        if (!isBlank(row.at(c - 1)))
            return c;
    }
    return 0;
}

std::optional<TextTable> databaseTable(const SheetRows &rows)
{
    TextTable table;
    if (rows.isEmpty())
        return table;
    table.columns = rows.first().cells;
    const qsizetype width = table.columns.size();
    if (rows.size() > 1 && width > MaxSheetCells / (rows.size() - 1))
        return std::nullopt;
    table.rows.reserve(rows.size() - 1);
    table.sourceRows.reserve(rows.size());
    table.sourceRows.append(rows.first().number);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        QStringList record = rows.at(r).cells.mid(0, width);
        while (record.size() < width)
            record.append(QString());
        table.rows.append(std::move(record));
        table.sourceRows.append(rows.at(r).number);
    }
    return table;
}

} // namespace

std::optional<TextTable> tableFromRows(const SheetRows &rows, bool everyRow)
{
    if (everyRow)
        return databaseTable(rows);
    qsizetype header = 0;
    while (header < rows.size() && usedWidth(rows.at(header).cells) == 0)
        ++header;
    if (header == rows.size())
        return TextTable{};

    qsizetype width = 0;
    qsizetype records = 0;
    for (qsizetype r = header; r < rows.size(); ++r) {
        const qsizetype used = usedWidth(rows.at(r).cells);
        width = qMax(width, used);
        if (r > header && used > 0)
            ++records;
    }
    if (records > 0 && width > MaxSheetCells / records)
        return std::nullopt;

    TextTable table;
    const QStringList &names = rows.at(header).cells;
    table.columns.reserve(width);
    for (qsizetype c = 0; c < width; ++c) {
        const QString name = names.value(c).trimmed();
        table.columns.append(name.isEmpty() ? u"F"_s + QString::number(c + 1) : name);
    }
    table.rows.reserve(records);
    table.sourceRows.reserve(records + 1);
    table.sourceRows.append(rows.at(header).number);
    for (qsizetype r = header + 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r).cells;
        if (usedWidth(row) == 0)
            continue;
        QStringList record = row.mid(0, width);
        while (record.size() < width)
            record.append(QString());
        table.rows.append(std::move(record));
        table.sourceRows.append(rows.at(r).number);
    }
    return table;
}

} // namespace Kuaidi
