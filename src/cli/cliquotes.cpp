#include "clicommands.h"
#include "clioutput.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequery.h>
#include <ratedb/ratedatabase.h>
#include <regions/regiontable.h>
#include <templates/raterows.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

int Cli::templates()
{
    RateDatabase db(m_o.databasePath);
    const QStringList names = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    for (const QString &name : names)
        m_out << name << u'\n';
    return CliOk;
}

int Cli::runQuery(QList<FeeQuote> &quotes)
{
    const std::optional<double> weight = parseWeight(m_o.arguments.at(1));
    if (!weight)
        return badInput(u"请输入正确的货物重量：“%1”不是大于 0 的数字"_s.arg(m_o.arguments.at(1)));
    RateDatabase db(m_o.databasePath);
    const QStringList names = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
    if (!rules)
        return databaseError(db);
    QStringList failed;
    const QList<MatchedRateRow> rows = DestinationSearch(
        db, names, m_o.arguments.at(0), &failed, m_o.exact ? SearchScope::Exact : SearchScope::WithFallback);
    for (const QString &name : failed)
        m_err << u"模板“%1”无法查询，已跳过\n"_s.arg(name);
    const QList<FeeQuote> all = ComputeFees(rows, Parcel{*weight, m_o.volume}, m_o.level, *rules);
    if (rows.isEmpty())
        m_err << u"没有找到目的地包含“%1”的快递\n"_s.arg(m_o.arguments.at(0));
    // Only fees a seller can charge are listed; the others are named,
    // so that nobody reads a missing price as free shipping.
    for (const FeeQuote &quote : all) {
        if (quote.hasFee())
            quotes.append(quote);
        else
            m_err << tsvLine(
                         {quote.courier, quote.destination, quote.priced ? u"报价不大于0"_s : quote.total})
                  << u'\n';
    }
    return CliOk;
}

int Cli::quote()
{
    QList<FeeQuote> quotes;
    if (const int status = runQuery(quotes); status != CliOk)
        return status;
    QList<QStringList> rows;
    for (const FeeQuote &q : std::as_const(quotes))
        rows << q.toCells();
    writeTable(m_out, m_o.json, FeeQuote::titles(), rows);
    return CliOk;
}

int Cli::breakdown()
{
    QList<FeeQuote> quotes;
    if (const int status = runQuery(quotes); status != CliOk)
        return status;
    if (quotes.isEmpty())
        return CliOk;
    if (m_o.row >= quotes.size())
        return badInput(u"只有 %1 行结果，没有第 %2 行（从 0 数起）"_s.arg(quotes.size()).arg(m_o.row));
    const FeeQuote &quote = quotes.at(m_o.row);
    m_out << FeeBreakdownText(quote, m_o.arguments.at(1), quote.billing) << u'\n';
    return CliOk;
}

int Cli::rows()
{
    const QString &name = m_o.arguments.at(0);
    RateDatabase db(m_o.databasePath);
    if (const int status = checkTemplateExists(db, name); status != CliOk)
        return status;
    const std::optional<TextTable> table = db.readTemplate(name);
    if (!table)
        return databaseError(db);
    const QStringList columns = pricedColumnsOf(*table);
    writeTable(m_out, m_o.json, columns, rateRowsOf(*table, columns));
    return CliOk;
}

int Cli::region()
{
    const std::optional<RegionMatch> match = MatchRegion(m_o.arguments.at(0));
    if (!match)
        return CliNoRegionMatch;
    m_out << tsvLine({match->entry->name.toString(), match->entry->province.toString(),
                      match->entry->elementId.toString(), QString::number(match->row)})
          << u'\n';
    return CliOk;
}

int Cli::address()
{
    const std::optional<ResolvedAddress> resolved = ResolveAddress(m_o.arguments.at(0));
    if (!resolved)
        return CliNoRegionMatch;
    m_out << tsvLine({resolved->province->name.toString(),
                      resolved->city ? resolved->city->name.toString() : QString()})
          << u'\n';
    return CliOk;
}

int Cli::curve()
{
    RateDatabase db(m_o.databasePath);
    const QStringList names = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    QStringList failed;
    const QList<std::shared_ptr<const TemplateRows>> rows = db.templateRows(names, &failed);
    const std::optional<QHash<QString, BillingRules>> rules = db.billingRulesOfAll();
    if (!failed.isEmpty() || !rules)
        return databaseError(db);
    const FeeCurve fees =
        ComputeFeeCurve(rows, *rules, m_o.arguments.at(0), levelIndex(m_o.level), m_o.volume, m_o.step);
    if (fees.isEmpty()) {
        m_err << u"没有快递为“%1”报价\n"_s.arg(m_o.arguments.at(0));
        return CliNoRegionMatch;
    }
    if (fees.cut) {
        m_err << u"曲线只画到 %1 KG：最多 %2 个重量点，而最大重量是 %3 KG（加大 --step 可画得更远）\n"_s.arg(
            numberToText(fees.weights.last()), QString::number(MaxCurvePoints), numberToText(fees.maximum));
    }
    const auto text = [](const std::optional<double> &fee) { return fee ? numberToText(*fee) : QString(); };
    if (m_o.json) {
        QJsonArray weights;
        for (const double w : fees.weights)
            weights.append(w);
        QJsonObject byCourier;
        for (qsizetype c = 0; c < fees.couriers.size(); ++c) {
            QJsonArray values;
            for (const std::optional<double> &fee : fees.fees.at(c))
                values.append(fee ? QJsonValue(*fee) : QJsonValue());
            byCourier.insert(fees.couriers.at(c), values);
        }
        QJsonArray cheapest;
        for (const FeeCurve::Crossover &at : fees.cheapest)
            cheapest.append(QJsonObject{{u"from"_s, at.from}, {u"template"_s, at.courier}});
        const QJsonObject all{{u"weights"_s, weights}, {u"fees"_s, byCourier}, {u"cheapest"_s, cheapest}};
        m_out << QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented));
        return CliOk;
    }
    m_out << tsvLine(QStringList{u"重量"_s} + fees.couriers) << u'\n';
    for (qsizetype w = 0; w < fees.weights.size(); ++w) {
        QStringList line{numberToText(fees.weights.at(w))};
        for (qsizetype c = 0; c < fees.couriers.size(); ++c)
            line << text(fees.fees.at(c).at(w));
        m_out << tsvLine(line) << u'\n';
    }
    m_out << u'\n';
    for (const FeeCurve::Crossover &at : fees.cheapest)
        m_out << numberToText(at.from) << u'\t' << at.courier << u'\n';
    return CliOk;
}

} // namespace Kuaidi
