#pragma once

#include "cli.h"
#include "clioptions.h"

#include <batch/batchquote.h>
#include <batch/reconcile.h>
#include <batch/tablefile.h>
#include <core/texttable.h>
#include <fees/feequote.h>

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QTextStream;

namespace Kuaidi {

class RateDatabase;
class Workbook;

/// One run of kuaidi-cli: each command a method, grouped by files as the
/// commands are (quotes, templates, sheets).
class Cli
{
public:
    Cli(const CliOptions &options, QTextStream &out, QTextStream &err) : m_o(options), m_out(out), m_err(err)
    {
    }

    int run();
    int usageError(const QString &message);

private:
    int badInput(const QString &message);
    int databaseError(const RateDatabase &db);
    int templates();
    /// The calculator's query: search, then price. Fills @p quotes.
    int runQuery(QList<FeeQuote> &quotes);
    int quote();
    int breakdown();
    /// CliOk when template @p name is in the database, or the status that
    /// says why it cannot be used.
    int checkTemplateExists(RateDatabase &db, const QString &name);
    int rows();
    int region();
    int address();
    /// Prints a template's billing rules, storing the ones given first.
    int rules();
    /// The sheet --sheet names (the first without it) of @p path.
    int readChosenSheet(const QString &path, std::optional<TextTable> &sheet);
    /// Prints a sheet as the program reads it: its fields, then its records.
    int read();
    int sheets();
    /// Opens a workbook with the --encoding given, or says why not.
    int openWorkbook(Workbook &workbook, const QString &path);
    /// The new-template page's steps: load the sheet, match provinces,
    /// preview with the defaults, save.
    int create();
    /// The templates to price by, read into memory, and their billing
    /// rules; CliOk or the status that says why not. A template that cannot
    /// be read is named and left out, unless no other is left.
    int batchPricer(RateDatabase &db, const QStringList &wanted, std::optional<OrderPricer> &pricer);
    using RowSink = std::function<bool(const QStringList &cells)>;
    /// Makes a result's rows, handing each to the sink; false when the sink
    /// refused one.
    using ResultRows = std::function<bool(const RowSink &sink)>;
    /// The result, row by row as @p rows makes them, to --out (with the
    /// summary as sheet 汇总 of a workbook) or to standard output; the
    /// summary, made once the rows are done, otherwise to standard error.
    int writeResult(const QString &sheet, const QStringList &columns, const QSet<int> &numberColumns,
                    const ResultRows &rows, const QSet<int> &summaryNumbers,
                    const std::function<TextTable()> &summarise);
    int batch();
    int reconcile();
    /// A destructive command runs only with --yes; without it nothing
    /// changes.
    int confirmed(const QString &what);
    int deleteTemplate();
    int exportTemplate();
    int listBackups();
    int restore();
    /// Every courier's fee over weight for one destination, and where the
    /// cheapest changes.
    int curve();
    int copy();
    /// Every rate table of a workbook (an old Access database) as a template.
    int migrate();

    const CliOptions &m_o;
    QTextStream &m_out;
    QTextStream &m_err;
};

} // namespace Kuaidi
