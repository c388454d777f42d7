#include "clicommands.h"
#include "clioutput.h"

#include <core/excerpt.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>

#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

int Cli::openWorkbook(Workbook &workbook, const QString &path)
{
    workbook.setEncoding(m_o.encoding);
    if (!workbook.open(path))
        return badInput(workbook.failureMessage());
    // Read all the same, but the seller should look at those lines.
    for (const QString &warning : workbook.warnings())
        m_err << u"注意："_s << warning << u'\n';
    return CliOk;
}

int Cli::readChosenSheet(const QString &path, std::optional<TextTable> &sheet)
{
    Workbook workbook;
    if (const int status = openWorkbook(workbook, path); status != CliOk)
        return status;
    const QStringList sheetNames = workbook.sheetNames();
    const QString sheetName = m_o.sheet.isEmpty() ? sheetNames.value(0) : m_o.sheet;
    if (!sheetNames.contains(sheetName))
        return badInput(u"工作簿中没有名为“%1”的表，可选：%2"_s.arg(excerpt(sheetName),
                                                                    excerpt(sheetNames.join(u"、"), 200)));
    sheet = workbook.readSheet(sheetName);
    if (!sheet)
        return badInput(workbook.failureMessage());
    return CliOk;
}

int Cli::read()
{
    std::optional<TextTable> sheet;
    if (const int status = readChosenSheet(m_o.arguments.at(0), sheet); status != CliOk)
        return status;
    writeTable(m_out, m_o.json, sheet->columns, sheet->rows);
    return CliOk;
}

int Cli::sheets()
{
    Workbook workbook;
    if (const int status = openWorkbook(workbook, m_o.arguments.at(0)); status != CliOk)
        return status;
    for (const QString &name : workbook.sheetNames())
        m_out << name << u'\n';
    return CliOk;
}

int Cli::batchPricer(RateDatabase &db, const QStringList &wanted, std::optional<OrderPricer> &pricer)
{
    const QStringList names = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    for (const QString &name : wanted) {
        if (!names.contains(name))
            return badInput(u"没有名为“%1”的快递模板"_s.arg(name));
    }
    QStringList failed;
    QList<std::shared_ptr<const TemplateRows>> rows = db.templateRows(wanted, &failed);
    if (!failed.isEmpty()) {
        const QString reason = db.lastError().isEmpty() ? u"无法读取"_s : db.lastError();
        if (failed.size() == wanted.size()) {
            m_err << reason << u'\n';
            return CliDatabaseError;
        }
        // One damaged template does not stop the others, as in quote.
        m_err << u"已跳过无法读取的模板：%1（%2）"_s.arg(failed.join(u"、"), reason) << u'\n';
        rows.removeAll(nullptr);
    }
    const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
    if (!rules)
        return databaseError(db);
    pricer.emplace(rows, *rules, levelIndex(m_o.level));
    return CliOk;
}

int Cli::writeResult(const QString &sheet, const QStringList &columns, const QSet<int> &numberColumns,
                     const ResultRows &rows, const QSet<int> &summaryNumbers,
                     const std::function<TextTable()> &summarise)
{
    std::optional<TableWriter> writer;
    if (!m_o.out.isEmpty()) {
        writer.emplace(m_o.out);
        if (!writer->beginSheet(sheet, columns, numberColumns))
            return badInput(writer->errorString());
    } else {
        m_out << tsvLine(columns) << u'\n';
    }
    // Row by row as they are made: a million orders are never held as text.
    const bool complete = rows([&](const QStringList &cells) {
        if (writer)
            return writer->addRow(cells);
        m_out << tsvLine(cells) << u'\n';
        return true;
    });
    const TextTable summary = summarise();
    if (writer) {
        bool written = complete && writer->beginSheet(u"汇总"_s, summary.columns, summaryNumbers);
        for (qsizetype r = 0; written && r < summary.rows.size(); ++r)
            written = writer->addRow(summary.rows.at(r));
        if (!written || !writer->commit())
            return badInput(writer->errorString());
        // A workbook carries the summary; a .csv file has the result alone.
        if (QFileInfo(m_o.out).suffix().compare(u"csv"_s, Qt::CaseInsensitive) != 0)
            return CliOk;
    }
    writeTable(m_err, false, summary.columns, summary.rows);
    return CliOk;
}

int Cli::batch()
{
    const OrderSheetResult sheet = readOrderSheet(m_o.arguments.at(0), m_o.sheet, false);
    if (!sheet.sheet)
        return badInput(sheet.error);
    RateDatabase db(m_o.databasePath);
    QStringList wanted = m_o.templates.value_or(db.templateNames());
    if (!db.lastError().isEmpty())
        return databaseError(db);
    std::optional<OrderPricer> pricer;
    if (const int status = batchPricer(db, wanted, pricer); status != CliOk)
        return status;
    const QStringList names = pricer->templateNames();
    const BatchTable table(*sheet.sheet, names);
    BatchTotals totals(names);
    const ResultRows rows = [&](const RowSink &sink) {
        return priceEachOrder(*sheet.sheet, *pricer, [&](qsizetype order, const BatchLine &line) {
            totals.add(line);
            return sink(table.row(order, line));
        });
    };
    return writeResult(u"报价"_s, table.columns(), table.numberColumns(), rows, {1, 2},
                       [&totals] { return totals.table(); });
}

int Cli::reconcile()
{
    if (m_o.templateName.isEmpty())
        return usageError(u"命令 reconcile 需要 --template NAME"_s);
    const OrderSheetResult sheet = readOrderSheet(m_o.arguments.at(0), m_o.sheet, true);
    if (!sheet.sheet)
        return badInput(sheet.error);
    RateDatabase db(m_o.databasePath);
    std::optional<OrderPricer> pricer;
    if (const int status = batchPricer(db, {m_o.templateName}, pricer); status != CliOk)
        return status;
    ReconcileTotals totals;
    const ResultRows rows = [&](const RowSink &sink) {
        return checkEachBillLine(*sheet.sheet, *pricer, 0, m_o.tolerance,
                                 [&](qsizetype line, const BillCheck &check) {
                                     totals.add(check);
                                     return sink(reconcileRow(*sheet.sheet, line, check));
                                 });
    };
    return writeResult(u"对账"_s, reconcileColumns(*sheet.sheet), reconcileNumberColumns(*sheet.sheet), rows,
                       {1}, [&totals] { return totals.table(); });
}

} // namespace Kuaidi
