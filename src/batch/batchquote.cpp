#include "batchquote.h"

#include "rowloop.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <fees/feequery.h>
#include <fees/feequote.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

QString cellOf(const QStringList &row, int column)
{
    return column >= 0 ? row.value(column) : QString();
}

// The order number, or the row number in the sheet when the list has none.
QString orderNumberOf(const OrderSheet &sheet, qsizetype i)
{
    return sheet.orderNumber >= 0 ? sheet.rows.at(i).value(sheet.orderNumber)
                                  : QString::number(sheet.sheetRow(i));
}

} // namespace

QString BatchLine::remarks(const QStringList &templates) const
{
    QStringList reasons;
    for (qsizetype t = 0; t < fees.size(); ++t) {
        if (!fees.at(t).fee)
            reasons << templates.value(t) + u": "_s + fees.at(t).reason;
    }
    return reasons.join(u"; "_s);
}

OrderPricer::OrderPricer(QList<std::shared_ptr<const TemplateRows>> templates,
                         QHash<QString, BillingRules> rules, int level)
    : m_templates(std::move(templates)), m_rules(std::move(rules)), m_level(level)
{
}

QStringList OrderPricer::templateNames() const
{
    QStringList names;
    for (const std::shared_ptr<const TemplateRows> &rows : m_templates)
        names << rows->name();
    return names;
}

const std::vector<qsizetype> &OrderPricer::rowsFor(const QString &destination)
{
    auto key = m_keys.constFind(destination);
    std::optional<OrderDestination> resolved;
    if (key == m_keys.cend()) {
        resolved = orderDestination(destination);
        key = m_keys.insert(destination, resolved->key());
    }
    auto rows = m_rows.find(*key);
    if (rows == m_rows.end()) {
        if (!resolved)
            resolved = orderDestination(destination);
        std::vector<qsizetype> found;
        found.reserve(m_templates.size());
        for (const std::shared_ptr<const TemplateRows> &rows : std::as_const(m_templates))
            found.push_back(destination.trimmed().isEmpty() ? -1 : orderRow(*rows, *resolved));
        rows = m_rows.insert(*key, found);
    }
    return *rows;
}

OrderFee OrderPricer::priceRow(qsizetype index, qsizetype row, double weight, std::optional<double> volume,
                               const BillingRules &rules) const
{
    if (row < 0)
        return {std::nullopt, u"无匹配地区"_s};
    const TemplateRows &rows = *m_templates.at(index);
    const quint32 combination = rows.combination(row);
    const bool priced = leadingNumber(rows.combinationCell(combination, ColumnFirstWeight)).has_value();
    const BilledWeight billed = billedWeight(weight, volume, rules);
    const std::optional<FeeFigures> figures =
        computeFeeFigures(rows.combinationNumbers(combination), priced, billed, m_level);
    if (!figures)
        return {std::nullopt, u"收费级别无效"_s};
    if (!figures->priced)
        return {std::nullopt, (figures->overMaximum ? OverMaximumText : UnpricedText).toString()};
    if (!(figures->total > 0))
        return {std::nullopt, u"报价不大于0"_s};
    return {figures->total, {}, figures->pricedWeight};
}

BillingRules OrderPricer::rules(qsizetype index) const
{
    return m_rules.value(m_templates.at(index)->name());
}

QList<OrderFee> OrderPricer::price(const QString &destination, const OrderParcel &parcel)
{
    const std::vector<qsizetype> &rows = rowsFor(destination);
    QList<OrderFee> fees;
    fees.reserve(m_templates.size());
    for (qsizetype t = 0; t < m_templates.size(); ++t) {
        fees.append(parcel.problem.isEmpty()
                        ? priceRow(t, rows.at(size_t(t)), *parcel.weight, parcel.volume, rules(t))
                        : OrderFee{std::nullopt, parcel.problem});
    }
    return fees;
}

QList<OrderFee> OrderPricer::price(const QString &destination, const QString &weight, const QString &volume)
{
    return price(destination, orderParcel(weight, volume));
}

OrderFee OrderPricer::price(qsizetype index, const QString &destination, const OrderParcel &parcel,
                            std::optional<BillingRules::Rounding> rounding)
{
    const qsizetype row = rowsFor(destination).at(size_t(index));
    if (!parcel.problem.isEmpty())
        return {std::nullopt, parcel.problem};
    BillingRules billing = rules(index);
    if (rounding)
        billing.rounding = *rounding;
    return priceRow(index, row, *parcel.weight, parcel.volume, billing);
}

bool priceEachOrder(const OrderSheet &sheet, OrderPricer &pricer,
                    const std::function<bool(qsizetype order, BatchLine &line)> &each,
                    const BatchProgress &progress)
{
    return forEachRow(sheet.rows.size(), progress, [&](qsizetype i) {
        const QStringList &row = sheet.rows.at(i);
        BatchLine line;
        line.number = orderNumberOf(sheet, i);
        line.destination = cellOf(row, sheet.destination);
        line.weight = cellOf(row, sheet.weight);
        line.fees = pricer.price(line.destination, orderParcel(sheet, row));
        for (int t = 0; t < line.fees.size(); ++t) {
            const std::optional<double> fee = line.fees.at(t).fee;
            if (!fee)
                continue;
            if (line.cheapest.isEmpty() || *fee < line.lowest - Tolerance) {
                line.cheapest = {t};
                line.lowest = *fee;
            } else if (std::abs(*fee - line.lowest) <= Tolerance) {
                line.cheapest.append(t);
            }
        }
        return each(i, line);
    });
}

std::optional<QList<BatchLine>> priceOrders(const OrderSheet &sheet, OrderPricer &pricer,
                                            const BatchProgress &progress)
{
    QList<BatchLine> lines;
    lines.reserve(sheet.rows.size());
    const bool done = priceEachOrder(
        sheet, pricer,
        [&lines](qsizetype, BatchLine &line) {
            lines.append(std::move(line));
            return true;
        },
        progress);
    if (!done)
        return std::nullopt;
    return lines;
}

BatchTable::BatchTable(const OrderSheet &sheet, const QStringList &templates)
    : m_sheet(sheet), m_templates(templates)
{
    m_columns << (sheet.orderNumber >= 0 ? u"订单号"_s : u"行号"_s) << u"目的地"_s << u"重量"_s << templates
              << u"最便宜快递"_s << u"最低运费"_s << u"备注"_s << u"计费重量"_s;
    for (int c = 0; c < sheet.titles.size(); ++c) {
        if (c != sheet.orderNumber && c != sheet.destination && c != sheet.weight) {
            m_ownColumns << c;
            m_columns << sheet.titles.at(c);
        }
    }
}

QSet<int> BatchTable::numberColumns() const
{
    const int afterFees = FirstFeeColumn + int(m_templates.size());
    QSet<int> numbers{2, afterFees + 1, afterFees + 3};
    if (m_sheet.orderNumber < 0)
        numbers << 0;
    for (int t = FirstFeeColumn; t < afterFees; ++t)
        numbers << t;
    return numbers;
}

QStringList BatchTable::row(qsizetype order, const BatchLine &line) const
{
    QStringList cells;
    cells.reserve(m_columns.size());
    cells << line.number << line.destination << line.weight;
    for (const OrderFee &fee : line.fees)
        cells << (fee.fee ? numberToText(*fee.fee) : QString());
    QStringList cheapest;
    for (const int t : line.cheapest)
        cheapest << m_templates.value(t);
    const bool priced = !line.cheapest.isEmpty();
    cells << cheapest.join(u"、") << (priced ? numberToText(line.lowest) : QString())
          << line.remarks(m_templates)
          << (priced ? numberToText(line.fees.at(line.cheapest.first()).billed) : QString());
    const QStringList &own = m_sheet.rows.at(order);
    for (const int c : m_ownColumns)
        cells << own.value(c);
    return cells;
}

BatchTotals::BatchTotals(const QStringList &templates)
    : m_templates(templates), m_counts(templates.size(), 0), m_totals(templates.size(), 0.0)
{
}

void BatchTotals::add(const BatchLine &line)
{
    for (qsizetype t = 0; t < m_templates.size(); ++t) {
        if (const std::optional<double> fee = line.fees.value(t).fee) {
            ++m_counts[t];
            m_totals[t] += *fee;
        }
    }
    if (!line.cheapest.isEmpty()) {
        ++m_cheapestCount;
        m_cheapestTotal += line.lowest;
    }
}

TextTable BatchTotals::table() const
{
    TextTable summary;
    summary.columns = QStringList{u"快递名称"_s, u"可报价订单数"_s, u"运费合计"_s};
    for (qsizetype t = 0; t < m_templates.size(); ++t) {
        summary.rows.append(
            {m_templates.at(t), QString::number(m_counts.at(t)), numberToText(shownNumber(m_totals.at(t)))});
    }
    summary.rows.append(
        {u"每单选最便宜"_s, QString::number(m_cheapestCount), numberToText(shownNumber(m_cheapestTotal))});
    return summary;
}

TextTable batchTable(const OrderSheet &sheet, const QList<BatchLine> &lines, const QStringList &templates)
{
    const BatchTable layout(sheet, templates);
    TextTable table;
    table.columns = layout.columns();
    table.rows.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        table.rows.append(layout.row(i, lines.at(i)));
    return table;
}

TextTable batchSummary(const QList<BatchLine> &lines, const QStringList &templates)
{
    BatchTotals totals(templates);
    for (const BatchLine &line : lines)
        totals.add(line);
    return totals.table();
}

QList<OutputSheet> batchSheets(const OrderSheet &sheet, const QList<BatchLine> &lines,
                               const QStringList &templates)
{
    return {{u"报价"_s, batchTable(sheet, lines, templates), BatchTable(sheet, templates).numberColumns()},
            {u"汇总"_s, batchSummary(lines, templates), {1, 2}}};
}

} // namespace Kuaidi
