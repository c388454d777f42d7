#pragma once

#include <core/billingrules.h>
#include <core/texttable.h>

#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

namespace Kuaidi {

/// One sheet of a file to write.
struct OutputSheet
{
    QString name;
    TextTable table;
    QSet<int> numberColumns; ///< columns whose numbers go into a workbook as numbers
    /// Whether a .csv cell that Excel would run as a formula (=, +, -, @
    /// first) is written with an apostrophe before it. Off only for a file
    /// meant to be read back as it was written.
    bool guardFormulas = true;
};

/// Writes a table file row by row as the rows come, holding no more than a
/// buffer of it: a workbook (.xlsx) with one sheet each, column widths to
/// fit and the header row frozen, or the first sheet alone as comma-separated
/// UTF-8 with a byte-order mark (.csv), so that Excel opens it. A file is
/// written beside its place and moved there by commit(): until then, and
/// after any failure, whatever was at the path is untouched.
class TableWriter
{
public:
    enum class Format { Xlsx, Csv };

    /// A writer of @p path, in the format its suffix names; a suffix other
    /// than .xlsx or .csv fails at the first call.
    explicit TableWriter(const QString &path);
    /// A writer onto @p device, already open for writing (and seekable for a
    /// workbook); @p shownName names it in messages.
    TableWriter(QIODevice *device, Format format, const QString &shownName);
    ~TableWriter();
    Q_DISABLE_COPY_MOVE(TableWriter)

    /// Starts a sheet under @p columns, ending the one before.
    bool beginSheet(const QString &name, const QStringList &columns, const QSet<int> &numberColumns = {},
                    bool guardFormulas = true);
    bool addRow(const QStringList &cells);
    /// Finishes the file and, for a path, moves it into place.
    bool commit();

    /// Why the writing failed, naming the file: "无法写入“x.xlsx”：…".
    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Writes @p sheets to @p path as TableWriter does. Returns the reason for a
/// failure, or the empty text.
QString writeTableFile(const QString &path, const QList<OutputSheet> &sheets);

/// One CSV record: cells quoted where they hold a comma, a quote or a line
/// break, lines ended by CRLF. With @p guardFormulas, a cell that Excel would
/// run as a formula gets an apostrophe first; a plain number ("-3.5") is
/// written as it is.
QByteArray csvRecord(const QStringList &cells, bool guardFormulas = true);

/// The sheet of an exported template that holds its billing rules.
inline constexpr QStringView RulesSheetName = u"计费规则";

/// Template @p name as a file: its rows under its column names (a sheet
/// named after it, or "模板" when Excel does not take the name), then its
/// billing rules on sheet 计费规则 (.xlsx only; 计费规则2 for a template
/// itself named 计费规则).
QList<OutputSheet> templateSheets(const QString &name, const TextTable &rows, const BillingRules &rules);

/// The billing rules an exported workbook carries on a sheet after its first
/// named 计费规则 (or so beginning), if any.
std::optional<BillingRules> exportedBillingRules(const QString &path);

} // namespace Kuaidi
