#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// A row of the template editor's list as 勾选同价地区 reads it.
struct PricedRegion
{
    QString region;
    QString elementId; ///< the page's check box, once matched; may be empty
    QString firstWeight;
    QString additionalWeight;
};

/// A same-priced province whose own box would give its differently priced
/// cities its price: its other cities are ticked one by one instead.
struct ProvinceByCities
{
    int row = -1;
    QString province;
    /// Element ids of the cities ticked in its place, in the region table's
    /// order; empty when every city has a price of its own (the province is
    /// then left out).
    QStringList cityElementIds;
    /// Names of its cities that rows of the list price differently.
    QStringList pricedApart;
};

/// What 勾选同价地区 ticks for one row.
struct SamePriceRegions
{
    /// Rows priced as the chosen one (the same first-weight and
    /// additional-weight numbers), ticked as they are; the chosen row too.
    QList<int> rows;
    /// Same-priced province rows ticked city by city, or left out.
    QList<ProvinceByCities> byCities;
};

/// The regions priced as row @p chosen of @p rows. A province is ticked
/// whole only when no row of the list prices one of its cities differently:
/// its box would take in those cities too. Nothing when the chosen row has
/// no first-weight price.
std::optional<SamePriceRegions> samePriceRegions(const QList<PricedRegion> &rows, int chosen);

} // namespace Kuaidi
