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
    const QList<std::shared_ptr<const TemplateRows>> rows = db.templateRows(wanted, &failed);
    if (!failed.isEmpty())
        return databaseError(db);
    const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
    if (!rules)
        return databaseError(db);
    pricer.emplace(rows, *rules, levelIndex(m_o.level));
    return CliOk;
}

int Cli::writeResult(const QList<OutputSheet> &sheets)
{
    const OutputSheet &result = sheets.at(0);
    const OutputSheet &summary = sheets.at(1);
    if (!m_o.out.isEmpty()) {
        if (const QString error = writeTableFile(m_o.out, sheets); !error.isEmpty())
            return badInput(error);
        if (QFileInfo(m_o.out).suffix().compare(u"csv"_s, Qt::CaseInsensitive) != 0)
            return CliOk;
    } else {
        writeTable(m_out, false, result.table.columns, result.table.rows);
    }
    writeTable(m_err, false, summary.table.columns, summary.table.rows);
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
    const QList<BatchLine> lines = *priceOrders(*sheet.sheet, *pricer);
    return writeResult(batchSheets(*sheet.sheet, lines, wanted));
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
    const QList<BillCheck> checks = *ReconcileBill(*sheet.sheet, *pricer, 0, m_o.tolerance);
    return writeResult(reconcileSheets(*sheet.sheet, checks));
}

} // namespace Kuaidi
