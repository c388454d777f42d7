#include "feecurve.h"

#include "feequery.h"
#include "feequote.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>

#include <cmath>

namespace Kuaidi {

FeeCurve ComputeFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                         const QHash<QString, BillingRules> &rules, const QString &destination, int level,
                         std::optional<double> volume, double step)
{
    FeeCurve curve;
    if (!(step > 0))
        return curve;
    // Whole multiples of the step, each computed afresh so that no error adds up.
    for (qsizetype i = 1; i * step <= MaximumWeight + Tolerance; ++i)
        curve.weights << shownNumber(double(i) * step);

    const OrderDestination where = orderDestination(destination);
    for (const std::shared_ptr<const TemplateRows> &rows : templates) {
        if (!rows)
            continue;
        const qsizetype row = destination.trimmed().isEmpty() ? -1 : orderRow(*rows, where);
        if (row < 0)
            continue;
        const quint32 combination = rows->combination(row);
        const bool ownFirstPriced =
            leadingNumber(rows->combinationCell(combination, ColumnFirstWeight)).has_value();
        const BillingRules courierRules = rules.value(rows->name());
        QList<std::optional<double>> fees;
        fees.reserve(curve.weights.size());
        bool anyFee = false;
        for (const double weight : std::as_const(curve.weights)) {
            const std::optional<FeeFigures> figures =
                computeFeeFigures(rows->combinationNumbers(combination), ownFirstPriced,
                                  billedWeight(weight, volume, courierRules), level);
            const bool fee = figures && figures->priced && figures->total > 0;
            anyFee = anyFee || fee;
            fees << (fee ? std::optional<double>(figures->total) : std::nullopt);
        }
        if (!anyFee)
            continue; // no price for the region: not a courier here
        curve.couriers << rows->name();
        curve.fees << fees;
    }

    int current = -1;
    for (qsizetype w = 0; w < curve.weights.size(); ++w) {
        int best = -1;
        for (int c = 0; c < curve.couriers.size(); ++c) {
            const std::optional<double> fee = curve.fees.at(c).at(w);
            if (fee && (best < 0 || *fee < *curve.fees.at(best).at(w) - Tolerance))
                best = c;
        }
        if (best < 0)
            continue;
        // A tie keeps the courier that was cheapest.
        const std::optional<double> kept = current >= 0 ? curve.fees.at(current).at(w) : std::nullopt;
        if (kept && std::abs(*kept - *curve.fees.at(best).at(w)) <= Tolerance)
            best = current;
        if (best != current) {
            curve.cheapest.append({curve.weights.at(w), curve.couriers.at(best)});
            current = best;
        }
    }
    return curve;
}

} // namespace Kuaidi
