#pragma once

#include "ordersheet.h"
#include "tablefile.h"

#include <core/billingrules.h>
#include <ratedb/templaterows.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace Kuaidi {

/// One template's answer for one order: a fee, or why there is none.
struct OrderFee
{
    std::optional<double> fee;
    QString reason; ///< "无匹配地区", "未报价", "重量无效", "体积无效", "超过50KG", "报价不大于0"
};

/// One order priced by every template.
struct BatchLine
{
    QString number; ///< the order number, or the row number in the sheet
    QString destination;
    QString weight;
    QList<OrderFee> fees; ///< one for each template, in their order
    QList<int> cheapest;  ///< positions of the templates with the lowest fee (all of them on a tie)
    double lowest = 0;    ///< that fee; meaningless when cheapest is empty

    /// Why templates gave no fee: "韵达: 未报价; 中通: 无匹配地区".
    QString remarks(const QStringList &templates) const;
};

/// Prices orders template by template: the templates' rows in memory, their
/// billing rules (the defaults for a template missing there) and a star level.
class OrderPricer
{
public:
    OrderPricer(QList<std::shared_ptr<const TemplateRows>> templates, QHash<QString, BillingRules> rules,
                int level);

    QStringList templateNames() const;
    /// Every template's fee for one parcel; the row of each template for a
    /// destination is looked up once however many orders share it.
    QList<OrderFee> price(const QString &destination, const QString &weight, const QString &volume);
    /// The fee of template @p index alone.
    OrderFee price(qsizetype index, const QString &destination, const QString &weight, const QString &volume);

private:
    const std::vector<qsizetype> &rowsFor(const QString &destination);
    OrderFee priceRow(qsizetype index, qsizetype row, std::optional<double> weight,
                      std::optional<double> volume) const;

    QList<std::shared_ptr<const TemplateRows>> m_templates;
    QHash<QString, BillingRules> m_rules;
    int m_level;
    QHash<QString, QString> m_keys;                // destination text → OrderDestination::key()
    QHash<QString, std::vector<qsizetype>> m_rows; // key → row of each template, -1 for none
};

/// Called now and then with the rows done so far; returning false cancels.
using BatchProgress = std::function<bool(qsizetype done, qsizetype total)>;

/// Every order of @p sheet priced by @p pricer. Nothing when cancelled.
std::optional<QList<BatchLine>> priceOrders(const OrderSheet &sheet, OrderPricer &pricer,
                                            const BatchProgress &progress = {});

/// The batch as a table: 订单号 (or 行号), 目的地, 重量, one column per
/// template, 最便宜快递, 最低运费, 备注.
TextTable batchTable(const OrderSheet &sheet, const QList<BatchLine> &lines, const QStringList &templates);
/// Per template the orders it prices and their total, then the total of the
/// cheapest choices: 快递名称, 可报价订单数, 运费合计.
TextTable batchSummary(const QList<BatchLine> &lines, const QStringList &templates);

/// The batch table as sheet 报价 and its summary as sheet 汇总, their fees
/// and weights marked as numbers.
QList<OutputSheet> batchSheets(const OrderSheet &sheet, const QList<BatchLine> &lines,
                               const QStringList &templates);

/// What a bill line comes to.
enum class Verdict { Agrees, Overcharged, Undercharged, Unchecked };

/// One line of a courier's bill checked against its template.
struct BillCheck
{
    std::optional<double> expected; ///< 应收
    double difference = 0;          ///< charged − expected, to 0.01 yuan
    Verdict verdict = Verdict::Unchecked;
    QString reason; ///< why it could not be checked

    /// "一致", "多收", "少收", "无法核对：…".
    QString verdictText() const;
};

/// Every line of bill @p sheet priced by template @p index of @p pricer; a
/// difference within @p tolerance yuan agrees. Nothing when cancelled.
std::optional<QList<BillCheck>> ReconcileBill(const OrderSheet &sheet, OrderPricer &pricer, qsizetype index,
                                              double tolerance, const BatchProgress &progress = {});

/// The bill's own columns, then 应收, 差额, 结论.
TextTable reconcileTable(const OrderSheet &sheet, const QList<BillCheck> &checks);
/// Lines per verdict, then the totals overcharged and undercharged: 项目, 数值.
TextTable reconcileSummary(const QList<BillCheck> &checks);

/// The checked bill as sheet 对账 and its summary as sheet 汇总.
QList<OutputSheet> reconcileSheets(const OrderSheet &sheet, const QList<BillCheck> &checks);

} // namespace Kuaidi
