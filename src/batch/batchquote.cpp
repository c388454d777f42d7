#include "batchquote.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <fees/feequery.h>
#include <fees/feequote.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Progress is reported every so many orders: often enough for a bar to move,
// rarely enough to cost nothing.
constexpr qsizetype ProgressStep = 256;

template<typename Each> bool forEachRow(qsizetype count, const BatchProgress &progress, Each each)
{
    for (qsizetype i = 0; i < count; ++i) {
        if (progress && i % ProgressStep == 0 && !progress(i, count))
            return false;
        each(i);
    }
    return !progress || progress(count, count);
}

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

OrderFee OrderPricer::priceRow(qsizetype index, qsizetype row, std::optional<double> weight,
                               std::optional<double> volume) const
{
    if (row < 0)
        return {std::nullopt, u"无匹配地区"_s};
    const TemplateRows &rows = *m_templates.at(index);
    const quint32 combination = rows.combination(row);
    const bool priced = leadingNumber(rows.combinationCells(combination).at(ColumnFirstWeight)).has_value();
    const BilledWeight billed = billedWeight(*weight, volume, m_rules.value(rows.name()));
    const std::optional<FeeFigures> figures =
        computeFeeFigures(rows.combinationNumbers(combination), priced, billed, m_level);
    if (!figures)
        return {std::nullopt, u"收费级别无效"_s};
    if (!figures->priced)
        return {std::nullopt, (figures->overMaximum ? OverMaximumText : UnpricedText).toString()};
    if (!(figures->total > 0))
        return {std::nullopt, u"报价不大于0"_s};
    return {figures->total, {}};
}

namespace {

// The parcel of an order, or why it cannot be priced.
struct ParcelOf
{
    std::optional<double> weight;
    std::optional<double> volume;
    QString problem;
};

ParcelOf parcelOf(const QString &weightText, const QString &volumeText)
{
    ParcelOf parcel;
    parcel.weight = parseWeight(weightText);
    if (!parcel.weight) {
        parcel.problem = u"重量无效"_s;
    } else if (!volumeText.trimmed().isEmpty()) {
        parcel.volume = parseNumber(volumeText);
        if (!parcel.volume || *parcel.volume < 0)
            parcel.problem = u"体积无效"_s;
    }
    return parcel;
}

} // namespace

QList<OrderFee> OrderPricer::price(const QString &destination, const QString &weightText,
                                   const QString &volumeText)
{
    const std::vector<qsizetype> &rows = rowsFor(destination);
    const ParcelOf parcel = parcelOf(weightText, volumeText);
    QList<OrderFee> fees;
    fees.reserve(m_templates.size());
    for (qsizetype t = 0; t < m_templates.size(); ++t) {
        fees.append(parcel.problem.isEmpty() ? priceRow(t, rows.at(size_t(t)), parcel.weight, parcel.volume)
                                             : OrderFee{std::nullopt, parcel.problem});
    }
    return fees;
}

OrderFee OrderPricer::price(qsizetype index, const QString &destination, const QString &weightText,
                            const QString &volumeText)
{
    const qsizetype row = rowsFor(destination).at(size_t(index));
    const ParcelOf parcel = parcelOf(weightText, volumeText);
    if (!parcel.problem.isEmpty())
        return {std::nullopt, parcel.problem};
    return priceRow(index, row, parcel.weight, parcel.volume);
}

std::optional<QList<BatchLine>> priceOrders(const OrderSheet &sheet, OrderPricer &pricer,
                                            const BatchProgress &progress)
{
    QList<BatchLine> lines;
    lines.reserve(sheet.rows.size());
    const bool done = forEachRow(sheet.rows.size(), progress, [&](qsizetype i) {
        const QStringList &row = sheet.rows.at(i);
        BatchLine line;
        line.number = orderNumberOf(sheet, i);
        line.destination = cellOf(row, sheet.destination);
        line.weight = cellOf(row, sheet.weight);
        line.fees = pricer.price(line.destination, line.weight, cellOf(row, sheet.volume));
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
        lines.append(std::move(line));
    });
    if (!done)
        return std::nullopt;
    return lines;
}

TextTable batchTable(const OrderSheet &sheet, const QList<BatchLine> &lines, const QStringList &templates)
{
    TextTable table;
    table.columns << (sheet.orderNumber >= 0 ? u"订单号"_s : u"行号"_s) << u"目的地"_s << u"重量"_s
                  << templates << u"最便宜快递"_s << u"最低运费"_s << u"备注"_s;
    table.rows.reserve(lines.size());
    for (const BatchLine &line : lines) {
        QStringList cells{line.number, line.destination, line.weight};
        for (const OrderFee &fee : line.fees)
            cells << (fee.fee ? numberToText(*fee.fee) : QString());
        QStringList cheapest;
        for (const int t : line.cheapest)
            cheapest << templates.value(t);
        cells << cheapest.join(u"、") << (cheapest.isEmpty() ? QString() : numberToText(line.lowest))
              << line.remarks(templates);
        table.rows.append(std::move(cells));
    }
    return table;
}

TextTable batchSummary(const QList<BatchLine> &lines, const QStringList &templates)
{
    TextTable summary;
    summary.columns = QStringList{u"快递名称"_s, u"可报价订单数"_s, u"运费合计"_s};
    for (qsizetype t = 0; t < templates.size(); ++t) {
        qsizetype count = 0;
        double total = 0;
        for (const BatchLine &line : lines) {
            if (const std::optional<double> fee = line.fees.value(t).fee) {
                ++count;
                total += *fee;
            }
        }
        summary.rows.append({templates.at(t), QString::number(count), numberToText(shownNumber(total))});
    }
    qsizetype count = 0;
    double total = 0;
    for (const BatchLine &line : lines) {
        if (!line.cheapest.isEmpty()) {
            ++count;
            total += line.lowest;
        }
    }
    summary.rows.append({u"每单选最便宜"_s, QString::number(count), numberToText(shownNumber(total))});
    return summary;
}

QList<OutputSheet> batchSheets(const OrderSheet &sheet, const QList<BatchLine> &lines,
                               const QStringList &templates)
{
    // 重量, the templates' fees and 最低运费 are numbers.
    const int fees = 3;
    QSet<int> numbers{2, fees + int(templates.size()) + 1};
    for (int t = 0; t < int(templates.size()); ++t)
        numbers << fees + t;
    return {{u"报价"_s, batchTable(sheet, lines, templates), numbers},
            {u"汇总"_s, batchSummary(lines, templates), {1, 2}}};
}

QString BillCheck::verdictText() const
{
    switch (verdict) {
    case Verdict::Agrees:
        return u"一致"_s;
    case Verdict::Overcharged:
        return u"多收"_s;
    case Verdict::Undercharged:
        return u"少收"_s;
    case Verdict::Unchecked:
        break;
    }
    return u"无法核对："_s + reason;
}

std::optional<QList<BillCheck>> ReconcileBill(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index,
                                              double tolerance, const BatchProgress &progress)
{
    QList<BillCheck> checks;
    checks.reserve(sheet.rows.size());
    const bool done = forEachRow(sheet.rows.size(), progress, [&](qsizetype i) {
        const QStringList &row = sheet.rows.at(i);
        BillCheck check;
        const OrderFee fee = pricer.price(index, cellOf(row, sheet.destination), cellOf(row, sheet.weight),
                                          cellOf(row, sheet.volume));
        const std::optional<double> charged = parseNumber(cellOf(row, sheet.amount));
        if (!fee.fee) {
            check.reason = fee.reason;
        } else if (!charged) {
            check.expected = fee.fee;
            check.reason = u"金额无效"_s;
        } else {
            check.expected = fee.fee;
            check.difference = std::round((*charged - *fee.fee) * 100) / 100;
            if (check.difference == 0)
                check.difference = 0; // no "-0"
            check.verdict = std::abs(check.difference) <= tolerance + Tolerance ? Verdict::Agrees
                            : check.difference > 0                              ? Verdict::Overcharged
                                                                                : Verdict::Undercharged;
        }
        checks.append(std::move(check));
    });
    if (!done)
        return std::nullopt;
    return checks;
}

TextTable reconcileTable(const OrderSheet &sheet, const QList<BillCheck> &checks)
{
    TextTable table;
    table.columns = sheet.titles;
    table.columns << u"应收"_s << u"差额"_s << u"结论"_s;
    table.rows.reserve(checks.size());
    for (qsizetype i = 0; i < checks.size(); ++i) {
        const BillCheck &check = checks.at(i);
        QStringList cells = sheet.rows.at(i);
        const bool checked = check.verdict != Verdict::Unchecked;
        cells << (check.expected ? numberToText(*check.expected) : QString())
              << (checked ? numberToText(check.difference) : QString()) << check.verdictText();
        table.rows.append(std::move(cells));
    }
    return table;
}

TextTable reconcileSummary(const QList<BillCheck> &checks)
{
    qsizetype counts[4] = {};
    double over = 0;
    double under = 0;
    for (const BillCheck &check : checks) {
        ++counts[int(check.verdict)];
        if (check.verdict == Verdict::Overcharged)
            over += check.difference;
        else if (check.verdict == Verdict::Undercharged)
            under -= check.difference;
    }
    TextTable summary;
    summary.columns = QStringList{u"项目"_s, u"数值"_s};
    summary.rows = {{u"一致"_s, QString::number(counts[int(Verdict::Agrees)])},
                    {u"多收"_s, QString::number(counts[int(Verdict::Overcharged)])},
                    {u"少收"_s, QString::number(counts[int(Verdict::Undercharged)])},
                    {u"无法核对"_s, QString::number(counts[int(Verdict::Unchecked)])},
                    {u"多收合计"_s, numberToText(std::round(over * 100) / 100)},
                    {u"少收合计"_s, numberToText(std::round(under * 100) / 100)}};
    return summary;
}

QList<OutputSheet> reconcileSheets(const OrderSheet &sheet, const QList<BillCheck> &checks)
{
    const int width = int(sheet.titles.size());
    QSet<int> numbers{width, width + 1};
    for (const int column : {sheet.weight, sheet.amount}) {
        if (column >= 0)
            numbers << column;
    }
    return {{u"对账"_s, reconcileTable(sheet, checks), numbers}, {u"汇总"_s, reconcileSummary(checks), {1}}};
}

} // namespace Kuaidi
