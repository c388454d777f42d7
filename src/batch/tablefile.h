#pragma once

#include <core/billingrules.h>
#include <core/texttable.h>

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace Kuaidi {

/// One sheet of a file to write.
struct OutputSheet
{
    QString name;
    TextTable table;
    QSet<int> numberColumns; ///< columns whose numbers go into a workbook as numbers
};

/// Writes @p sheets to @p path: a workbook (.xlsx) with one sheet each, or
/// the first sheet as comma-separated UTF-8 with a byte-order mark (.csv), so
/// that Excel opens it. The file is written aside and moved into place at the
/// end: a failure leaves whatever was at @p path untouched. Returns the
/// reason for a failure, or the empty text.
QString writeTableFile(const QString &path, const QList<OutputSheet> &sheets);

/// One CSV record: cells quoted where they hold a comma, a quote or a line
/// break, lines ended by CRLF.
QByteArray csvRecord(const QStringList &cells);

/// The sheet of an exported template that holds its billing rules.
inline constexpr QStringView RulesSheetName = u"计费规则";

/// Template @p name as a file: its rows under its column names (a sheet
/// named after it, or "模板" when Excel does not take the name), then its
/// billing rules on sheet 计费规则 (.xlsx only).
QList<OutputSheet> templateSheets(const QString &name, const TextTable &rows, const BillingRules &rules);

/// The billing rules an exported workbook carries on sheet 计费规则, if any.
std::optional<BillingRules> exportedBillingRules(const QString &path);

} // namespace Kuaidi
