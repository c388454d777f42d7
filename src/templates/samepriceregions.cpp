#include "samepriceregions.h"

#include <core/numbertext.h>
#include <core/tolerance.h>
#include <regions/regiontable.h>

#include <QSet>

namespace Kuaidi {

namespace {

bool samePrice(std::optional<double> a, std::optional<double> b)
{
    return a.has_value() == b.has_value() && (!a || qAbs(*a - *b) < Tolerance);
}

// The region table's entry of a row: the one of its element id once matched,
// else the one its text names.
const RegionEntry *entryOf(const PricedRegion &row)
{
    if (!row.elementId.isEmpty()) {
        for (const RegionEntry &entry : RegionTable::entries()) {
            if (entry.elementId == row.elementId)
                return &entry;
        }
    }
    const std::optional<RegionMatch> match = MatchRegion(row.region);
    return match ? match->entry : nullptr;
}

} // namespace

std::optional<SamePriceRegions> samePriceRegions(const QList<PricedRegion> &rows, int chosen)
{
    if (chosen < 0 || chosen >= rows.size())
        return std::nullopt;
    const std::optional<double> first = leadingNumber(rows.at(chosen).firstWeight);
    const std::optional<double> additional = leadingNumber(rows.at(chosen).additionalWeight);
    if (!first)
        return std::nullopt;

    QList<const RegionEntry *> entries;
    QList<bool> priced;
    entries.reserve(rows.size());
    priced.reserve(rows.size());
    for (const PricedRegion &row : rows) {
        entries.append(entryOf(row));
        priced.append(samePrice(leadingNumber(row.firstWeight), first) &&
                      samePrice(leadingNumber(row.additionalWeight), additional));
    }

    SamePriceRegions result;
    QSet<QStringView> tickedAsRows;
    for (int r = 0; r < rows.size(); ++r) {
        if (priced.at(r) && entries.at(r) && !isProvinceEntry(*entries.at(r)))
            tickedAsRows.insert(entries.at(r)->elementId);
    }
    for (int r = 0; r < rows.size(); ++r) {
        if (!priced.at(r))
            continue;
        const RegionEntry *entry = entries.at(r);
        if (!entry || !isProvinceEntry(*entry)) {
            result.rows.append(r);
            continue;
        }
        // The province's cities that rows of the list price otherwise.
        QSet<QStringView> apart;
        ProvinceByCities split{r, entry->name.toString(), {}, {}};
        for (int other = 0; other < rows.size(); ++other) {
            const RegionEntry *city = entries.at(other);
            if (priced.at(other) || !city || isProvinceEntry(*city) || city->province != entry->province ||
                apart.contains(city->elementId))
                continue;
            apart.insert(city->elementId);
            split.pricedApart.append(city->name.toString());
        }
        if (apart.isEmpty()) {
            result.rows.append(r);
            continue;
        }
        for (const RegionEntry &city : RegionTable::entries()) {
            if (city.province == entry->province && !isProvinceEntry(city) &&
                !apart.contains(city.elementId) && !tickedAsRows.contains(city.elementId) &&
                !split.cityElementIds.contains(city.elementId))
                split.cityElementIds.append(city.elementId.toString());
        }
        result.byCities.append(split);
    }
    return result;
}

} // namespace Kuaidi
