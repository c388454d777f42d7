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
    double billed = 0; ///< the kilograms the fee is for: unrounded in a weight bracket
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
    QList<OrderFee> price(const QString &destination, const OrderParcel &parcel);
    QList<OrderFee> price(const QString &destination, const QString &weight, const QString &volume);
    /// The fee of template @p index alone, under its own billing rules or
    /// rounding as @p rounding says.
    OrderFee price(qsizetype index, const QString &destination, const OrderParcel &parcel,
                   std::optional<BillingRules::Rounding> rounding = std::nullopt);
    /// The billing rules template @p index prices by.
    BillingRules rules(qsizetype index) const;

private:
    const std::vector<qsizetype> &rowsFor(const QString &destination);
    OrderFee priceRow(qsizetype index, qsizetype row, double weight, std::optional<double> volume,
                      const BillingRules &rules) const;

    QList<std::shared_ptr<const TemplateRows>> m_templates;
    QHash<QString, BillingRules> m_rules;
    int m_level;
    QHash<QString, QString> m_keys;                // destination text → OrderDestination::key()
    QHash<QString, std::vector<qsizetype>> m_rows; // key → row of each template, -1 for none
};

/// Called now and then with the rows done so far; returning false cancels.
using BatchProgress = std::function<bool(qsizetype done, qsizetype total)>;

/// Prices every order of @p sheet by @p pricer and hands each line to
/// @p each as it is made, in the sheet's order; @p each returning false
/// stops. False when stopped or cancelled.
bool priceEachOrder(const OrderSheet &sheet, OrderPricer &pricer,
                    const std::function<bool(qsizetype order, BatchLine &line)> &each,
                    const BatchProgress &progress = {});

/// Every order of @p sheet priced by @p pricer. Nothing when cancelled.
std::optional<QList<BatchLine>> priceOrders(const OrderSheet &sheet, OrderPricer &pricer,
                                            const BatchProgress &progress = {});

/// The columns of the batch result and its rows, one order at a time:
/// 订单号 (or 行号), 目的地, 重量, one column per template, 最便宜快递,
/// 最低运费, 备注, 计费重量 (of the cheapest), then the order list's own
/// other columns (收件人, 商品 …) as they are.
class BatchTable
{
public:
    BatchTable(const OrderSheet &sheet, const QStringList &templates);

    static constexpr int FirstFeeColumn = 3;
    const QStringList &columns() const { return m_columns; }
    /// The columns that hold numbers: 重量, the fees, 最低运费, 计费重量,
    /// and 行号.
    QSet<int> numberColumns() const;
    QStringList row(qsizetype order, const BatchLine &line) const;

private:
    const OrderSheet &m_sheet;
    QStringList m_templates;
    QStringList m_columns;
    QList<int> m_ownColumns;
};

/// Per template the orders it prices and their total, then the total of the
/// cheapest choices, added up order by order.
class BatchTotals
{
public:
    explicit BatchTotals(const QStringList &templates);
    void add(const BatchLine &line);
    /// 快递名称, 可报价订单数, 运费合计.
    TextTable table() const;

private:
    QStringList m_templates;
    QList<qsizetype> m_counts;
    QList<double> m_totals;
    qsizetype m_cheapestCount = 0;
    double m_cheapestTotal = 0;
};

/// The batch as a table (see BatchTable).
TextTable batchTable(const OrderSheet &sheet, const QList<BatchLine> &lines, const QStringList &templates);
/// The totals of the batch (see BatchTotals).
TextTable batchSummary(const QList<BatchLine> &lines, const QStringList &templates);

/// The batch table as sheet 报价 and its summary as sheet 汇总, their fees
/// and weights marked as numbers.
QList<OutputSheet> batchSheets(const OrderSheet &sheet, const QList<BatchLine> &lines,
                               const QStringList &templates);

} // namespace Kuaidi
