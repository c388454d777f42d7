#pragma once

#include "feequote.h"

#include <core/billingrules.h>
#include <ratedb/templaterows.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Kuaidi {

/// Most points a fee curve has: the weights `kuaidi-cli curve` prints, or
/// the corners of one line the curve window draws. A step so small that 50 kg
/// would need more is refused; a curve that would need more to reach the
/// heaviest 最大重量 stops short of it.
inline constexpr qsizetype MaxCurvePoints = 10'000;

/// How many weights a curve has from @p step to @p end kilograms at @p step
/// (more than MaxCurvePoints when so, without counting them one by one).
qsizetype curveWeightCount(double step, double end);

/// Which courier is cheapest at which weight, for one destination.
struct FeeCurve
{
    struct Crossover
    {
        double from = 0; ///< kilograms from which…
        QString courier; ///< …this template is the cheapest
        /// From just above @c from: at @c from itself another courier is
        /// still the cheapest (or as cheap).
        bool above = false;

        friend bool operator==(const Crossover &, const Crossover &) = default;
    };

    QList<double> weights; ///< step, 2 × step, … up to @c end
    QStringList couriers;  ///< templates with a priced row for the destination, in the order given
    QList<QList<std::optional<double>>> fees; ///< per courier, per weight; none where it gives no fee
    QList<Crossover> cheapest;                ///< the first from the first weight with a fee
    /// The heaviest weight a courier here prices: 50 kg, or more where a
    /// template's 最大重量 says so.
    double maximum = MaximumWeight;
    bool cut = false; ///< the weights stop short of @c maximum, at MaxCurvePoints

    bool isEmpty() const { return couriers.isEmpty(); }
};

/// The fee of each template's row for @p destination (one row per
/// template, as orderRow() picks it) at every weight from @p step to 50 kg,
/// or on to the heaviest 最大重量 of those templates as far as
/// MaxCurvePoints weights reach, under each template's billing rules
/// (@p rules; the defaults for one missing there), and the weights where the
/// cheapest courier changes. A template without a row, or whose row has no
/// price, is left out. On a tie the courier that was cheapest stays so; else
/// the first in order.
FeeCurve ComputeFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                         const QHash<QString, BillingRules> &rules, const QString &destination, int level,
                         std::optional<double> volume = std::nullopt, double step = 0.5);

/// A stretch of weight on which a courier's fee follows one straight line:
/// for @c from < w ≤ @c to, fee(w) = @c start + @c slope × (w − @c from).
/// Every limit of the billing rules belongs to the stretch below it (20 kg
/// pays as up to 20 kg), so a fee that steps, steps just above @c to.
struct FeePiece
{
    double from = 0;     ///< kilograms, not included
    double to = 0;       ///< kilograms, included
    bool priced = false; ///< a fee above 0 all along; no fee anywhere on it otherwise
    double start = 0;    ///< the fee just above @c from
    double slope = 0;    ///< yuan per kilogram

    double feeAt(double weight) const { return start + slope * (weight - from); }
};

/// One template's row for a destination, as a curve prices it.
struct CurveRow
{
    QString courier;
    QList<double> numbers;      ///< the row's cells as readPriceNumbers() reads them
    bool ownFirstPriced = true; ///< its own 首重价格 begins with a number
    BillingRules rules;
};

/// @p cells (pricedColumns(); the 41 alone for a plain template) read for a curve.
CurveRow curveRow(const QString &courier, const QStringList &cells, const BillingRules &rules);

/// The fee of @p row at star level @p level over (0, @p end] kilograms,
/// exactly, as pieces: between the weights where the rules change the fee's
/// course (the first weight, bracket limits, band starts, 20, 30 and 50 kg,
/// the 最大重量, the volume weight, every rounding step) it is linear, and
/// constant under rounding; a minimum fee, and a fee falling to 0 or below,
/// cut it further. Neighbours on one line are joined. At most @p most
/// pieces: the last then ends short of @p end.
QList<FeePiece> feePieces(const CurveRow &row, int level, std::optional<double> volume, double end,
                          qsizetype most = MaxCurvePoints / 2);

/// Every courier's fee over weight for one destination as pieces, the
/// cheapest at every weight, and the exact weights where it changes.
struct ExactFeeCurve
{
    struct Cheapest
    {
        FeePiece piece;
        int courier = -1; ///< index into @c couriers
    };

    QStringList couriers;          ///< with a fee somewhere, in the order given
    QList<QList<FeePiece>> pieces; ///< per courier, from 0 to @c end
    /// The lowest fee, on every stretch where some courier gives one.
    QList<Cheapest> cheapest;
    /// Where the cheapest changes; the first from the lightest weight.
    QList<FeeCurve::Crossover> crossovers;
    double end = MaximumWeight;     ///< kilograms the curve reaches
    double maximum = MaximumWeight; ///< the heaviest weight a courier here prices, 50 at least

    bool isEmpty() const { return couriers.isEmpty(); }
    /// Whether the curve stops short of @c maximum.
    bool isCut() const;
    /// The fee of courier @p courier at @p weight kilograms; none where it gives none.
    std::optional<double> feeAt(int courier, double weight) const;
};

/// The exact curves of @p rows, left out those that give no fee anywhere.
/// They reach 50 kg, or the heaviest 最大重量 among them, as far as
/// MaxCurvePoints weights at @p step reach; no line (nor the cheapest) has
/// more than MaxCurvePoints / 2 pieces (MaxCurvePoints corners), else all
/// end earlier. On a tie the courier that was cheapest stays so; else the
/// one whose fee rises slower, else the first in order.
ExactFeeCurve computeExactFeeCurve(const QList<CurveRow> &rows, int level, std::optional<double> volume,
                                   double step = 0.5);

/// The same for @p destination's row of each template, picked as by
/// ComputeFeeCurve().
ExactFeeCurve computeExactFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                                   const QHash<QString, BillingRules> &rules, const QString &destination,
                                   int level, std::optional<double> volume, double step = 0.5);

} // namespace Kuaidi
