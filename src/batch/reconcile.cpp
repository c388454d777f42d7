#include "reconcile.h"

#include "rowloop.h"

#include <core/numbertext.h>
#include <core/tolerance.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// A hint needs this many lines explained by rounding, and at least half of
// the lines that differ: a pattern, not a coincidence.
constexpr qsizetype RoundingHintLines = 3;

double toFen(double yuan)
{
    const double rounded = std::round(yuan * 100) / 100;
    return rounded == 0 ? 0 : rounded; // no "-0"
}

} // namespace

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

bool checkEachBillLine(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index, double tolerance,
                       const std::function<bool(qsizetype line, const BillCheck &check)> &each,
                       const BatchProgress &progress)
{
    using Rounding = BillingRules::Rounding;
    const Rounding own = pricer.rules(index).rounding;
    const auto within = [tolerance](double difference) {
        return std::abs(difference) <= tolerance + Tolerance;
    };
    return forEachRow(sheet.rows.size(), progress, [&](qsizetype i) {
        const QStringList &row = sheet.rows.at(i);
        const QString destination = sheet.destination >= 0 ? row.value(sheet.destination) : QString();
        const OrderParcel parcel = orderParcel(sheet, row);
        BillCheck check;
        const OrderFee fee = pricer.price(index, destination, parcel);
        const std::optional<double> charged = parseNumber(row.value(sheet.amount));
        if (!fee.fee) {
            check.reason = fee.reason;
        } else if (!charged) {
            check.expected = fee.fee;
            check.reason = u"金额无效"_s;
        } else {
            check.expected = fee.fee;
            check.difference = toFen(*charged - *fee.fee);
            check.verdict = within(check.difference) ? Verdict::Agrees
                            : check.difference > 0   ? Verdict::Overcharged
                                                     : Verdict::Undercharged;
            if (check.verdict != Verdict::Agrees) {
                const auto explains = [&](Rounding rounding) {
                    const OrderFee rounded = pricer.price(index, destination, parcel, rounding);
                    return rounded.fee && within(toFen(*charged - *rounded.fee));
                };
                check.kilogramRounding = own != Rounding::Kilogram && explains(Rounding::Kilogram);
                check.halfKilogramRounding = own == Rounding::None && explains(Rounding::HalfKilogram);
            }
        }
        return each(i, check);
    });
}

std::optional<QList<BillCheck>> ReconcileBill(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index,
                                              double tolerance, const BatchProgress &progress)
{
    QList<BillCheck> checks;
    checks.reserve(sheet.rows.size());
    const bool done = checkEachBillLine(
        sheet, pricer, index, tolerance,
        [&checks](qsizetype, const BillCheck &check) {
            checks.append(check);
            return true;
        },
        progress);
    if (!done)
        return std::nullopt;
    return checks;
}

QStringList reconcileColumns(const OrderSheet &sheet)
{
    return sheet.titles + QStringList{u"应收"_s, u"差额"_s, u"结论"_s};
}

QSet<int> reconcileNumberColumns(const OrderSheet &sheet)
{
    const int width = int(sheet.titles.size());
    QSet<int> numbers{width, width + 1};
    for (const int column : {sheet.weight, sheet.amount}) {
        if (column >= 0)
            numbers << column;
    }
    return numbers;
}

QStringList reconcileRow(const OrderSheet &sheet, qsizetype line, const BillCheck &check)
{
    QStringList cells = sheet.rows.at(line);
    const bool checked = check.verdict != Verdict::Unchecked;
    cells << (check.expected ? numberToText(*check.expected) : QString())
          << (checked ? numberToText(check.difference) : QString()) << check.verdictText();
    return cells;
}

void ReconcileTotals::add(const BillCheck &check)
{
    ++m_counts[int(check.verdict)];
    if (check.verdict == Verdict::Overcharged)
        m_over += check.difference;
    else if (check.verdict == Verdict::Undercharged)
        m_under -= check.difference;
    m_kilogram += check.kilogramRounding;
    m_halfKilogram += check.halfKilogramRounding;
}

TextTable ReconcileTotals::table() const
{
    TextTable summary;
    summary.columns = QStringList{u"项目"_s, u"数值"_s};
    summary.rows = {{u"一致"_s, QString::number(m_counts[int(Verdict::Agrees)])},
                    {u"多收"_s, QString::number(m_counts[int(Verdict::Overcharged)])},
                    {u"少收"_s, QString::number(m_counts[int(Verdict::Undercharged)])},
                    {u"无法核对"_s, QString::number(m_counts[int(Verdict::Unchecked)])},
                    {u"多收合计"_s, numberToText(toFen(m_over))},
                    {u"少收合计"_s, numberToText(toFen(m_under))}};
    const qsizetype differing = m_counts[int(Verdict::Overcharged)] + m_counts[int(Verdict::Undercharged)];
    const qsizetype explained = qMax(m_kilogram, m_halfKilogram);
    if (explained >= RoundingHintLines && explained * 2 >= differing) {
        const QString unit = m_kilogram >= m_halfKilogram ? u"1KG"_s : u"0.5KG"_s;
        summary.rows.append({u"提示"_s, u"多数差额与按 %1 取整计费一致：请检查模板的计费取整"_s.arg(unit)});
    }
    return summary;
}

TextTable reconcileTable(const OrderSheet &sheet, const QList<BillCheck> &checks)
{
    TextTable table;
    table.columns = reconcileColumns(sheet);
    table.rows.reserve(checks.size());
    for (qsizetype i = 0; i < checks.size(); ++i)
        table.rows.append(reconcileRow(sheet, i, checks.at(i)));
    return table;
}

TextTable reconcileSummary(const QList<BillCheck> &checks)
{
    ReconcileTotals totals;
    for (const BillCheck &check : checks)
        totals.add(check);
    return totals.table();
}

QList<OutputSheet> reconcileSheets(const OrderSheet &sheet, const QList<BillCheck> &checks)
{
    return {{u"对账"_s, reconcileTable(sheet, checks), reconcileNumberColumns(sheet)},
            {u"汇总"_s, reconcileSummary(checks), {1}}};
}

} // namespace Kuaidi
