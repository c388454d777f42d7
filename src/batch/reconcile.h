#pragma once

#include "batchquote.h"

namespace Kuaidi {

/// What a bill line comes to.
enum class Verdict { Agrees, Overcharged, Undercharged, Unchecked };

/// One line of a courier's bill checked against its template.
struct BillCheck
{
    std::optional<double> expected; ///< 应收
    double difference = 0;          ///< charged − expected, to 0.01 yuan
    Verdict verdict = Verdict::Unchecked;
    QString reason; ///< why it could not be checked
    /// A line that does not agree, but would under the template's rounding
    /// to whole or half kilograms: the rounding a courier bills by, which the
    /// template may lack.
    bool kilogramRounding = false;
    bool halfKilogramRounding = false;

    /// "一致", "多收", "少收", "无法核对：…".
    QString verdictText() const;
};

/// Checks every line of bill @p sheet against template @p index of
/// @p pricer and hands each check to @p each as it is made; @p each
/// returning false stops. A difference within @p tolerance yuan agrees.
/// False when stopped or cancelled.
bool checkEachBillLine(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index, double tolerance,
                       const std::function<bool(qsizetype line, const BillCheck &check)> &each,
                       const BatchProgress &progress = {});

/// Every line of bill @p sheet checked (see checkEachBillLine()). Nothing
/// when cancelled.
std::optional<QList<BillCheck>> ReconcileBill(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index,
                                              double tolerance, const BatchProgress &progress = {});

/// The bill's own columns, then 应收, 差额, 结论.
QStringList reconcileColumns(const OrderSheet &sheet);
/// The columns of numbers: the weight, the amount, 应收 and 差额.
QSet<int> reconcileNumberColumns(const OrderSheet &sheet);
/// Line @p line of the bill with its check.
QStringList reconcileRow(const OrderSheet &sheet, qsizetype line, const BillCheck &check);

/// The counts and totals of a bill check, added up line by line.
class ReconcileTotals
{
public:
    void add(const BillCheck &check);
    /// Lines per verdict, then the totals overcharged and undercharged, and
    /// a 提示 when most differences are what rounding up would give: 项目, 数值.
    TextTable table() const;

private:
    qsizetype m_counts[4] = {};
    double m_over = 0;
    double m_under = 0;
    qsizetype m_kilogram = 0;
    qsizetype m_halfKilogram = 0;
};

TextTable reconcileTable(const OrderSheet &sheet, const QList<BillCheck> &checks);
TextTable reconcileSummary(const QList<BillCheck> &checks);

/// The checked bill as sheet 对账 and its summary as sheet 汇总.
QList<OutputSheet> reconcileSheets(const OrderSheet &sheet, const QList<BillCheck> &checks);

} // namespace Kuaidi
