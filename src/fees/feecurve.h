#pragma once

#include <core/billingrules.h>
#include <ratedb/templaterows.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Kuaidi {

/// Which courier is cheapest at which weight, for one destination.
struct FeeCurve
{
    struct Crossover
    {
        double from = 0; ///< kilograms from which…
        QString courier; ///< …this template is the cheapest
    };

    QList<double> weights; ///< step, 2 × step, … up to 50 kg
    QStringList couriers;  ///< templates with a priced row for the destination, in the order given
    QList<QList<std::optional<double>>> fees; ///< per courier, per weight; none where it gives no fee
    QList<Crossover> cheapest;                ///< the first from the first weight with a fee

    bool isEmpty() const { return couriers.isEmpty(); }
};

/// The fee of each template's row for @p destination (one row per
/// template, as orderRow() picks it) at every weight from @p step to 50 kg,
/// under each template's billing rules (@p rules; the defaults for one
/// missing there), and the weights where the cheapest courier changes. A
/// template without a row, or whose row has no price, is left out. On a tie
/// the courier that was cheapest stays so; else the first in order.
FeeCurve ComputeFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                         const QHash<QString, BillingRules> &rules, const QString &destination, int level,
                         std::optional<double> volume = std::nullopt, double step = 0.5);

} // namespace Kuaidi
