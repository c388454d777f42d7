#pragma once

#include "cli.h"
#include "clioptions.h"

#include <batch/batchquote.h>
#include <batch/tablefile.h>
#include <core/texttable.h>
#include <fees/feequote.h>

#include <QList>
#include <QString>

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
    /// rules; CliOk or the status that says why not.
    int batchPricer(RateDatabase &db, const QStringList &wanted, std::optional<OrderPricer> &pricer);
    /// The result to --out, or to standard output with the summary on
    /// standard error.
    int writeResult(const QList<OutputSheet> &sheets);
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
