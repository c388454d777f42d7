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

} // namespace

std::optional<TextTable> tableFromRows(const SheetRows &rows)
{
    qsizetype header = 0;
    while (header < rows.size() && usedWidth(rows.at(header)) == 0)
        ++header;
    if (header == rows.size())
        return TextTable{};

    qsizetype width = 0;
    qsizetype records = 0;
    for (qsizetype r = header; r < rows.size(); ++r) {
        const qsizetype used = usedWidth(rows.at(r));
        width = qMax(width, used);
        if (r > header && used > 0)
            ++records;
    }
    if (records > 0 && width > MaxSheetCells / records)
        return std::nullopt;

    TextTable table;
    const QStringList &names = rows.at(header);
    table.columns.reserve(width);
    for (qsizetype c = 0; c < width; ++c) {
        const QString name = names.value(c).trimmed();
        table.columns.append(name.isEmpty() ? u"F"_s + QString::number(c + 1) : name);
    }
    table.rows.reserve(records);
    for (qsizetype r = header + 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        if (usedWidth(row) == 0)
            continue;
        QStringList record = row.mid(0, width);
        while (record.size() < width)
            record.append(QString());
        table.rows.append(std::move(record));
    }
    return table;
}

} // namespace Kuaidi
