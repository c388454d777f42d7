#pragma once

#include <QStringView>

#include <optional>
#include <span>

namespace Kuaidi {

/// One destination the marketplace's freight-template page knows: its name,
/// the province-level group it belongs to, and the id of its check box.
struct RegionEntry
{
    QStringView name;
    QStringView province;
    QStringView elementId;
};

/// The built-in table of 424 regions: 35 groups, each a group entry followed
/// by its cities. The order matters to MatchRegion().
namespace RegionTable {
std::span<const RegionEntry> entries();
inline int count()
{
    return int(entries().size());
}
/// Entry by row number, counted from 1.
inline const RegionEntry &entry(int row)
{
    return entries()[row - 1];
}
} // namespace RegionTable

struct RegionMatch
{
    const RegionEntry *entry = nullptr;
    int row = 0; ///< counted from 1
};

/// Longest text that is matched against the table. A region or address is
/// far shorter; a longer cell is not one, and matching it would only cost
/// time (a damaged sheet may hold a cell of megabytes).
inline constexpr qsizetype MaxPlaceTextLength = 256;

/// The 35 province-level entries (element id "J_Province_…" or "J_Group_…"):
/// provinces, municipalities, regions, and 海外.
bool isProvinceEntry(const RegionEntry &entry);

/// Where a buyer's address goes: its province-level entry, and its city
/// entry when the text names one of that province's cities.
struct ResolvedAddress
{
    const RegionEntry *province = nullptr;
    const RegionEntry *city = nullptr;
};

/// Reads a destination as sellers paste it: a city ("南京"), a province, or a
/// whole address ("江苏省南京市鼓楼区中山路1号", "江苏省 南京市 鼓楼区"). The
/// entry whose name occurs earliest in the text decides the province (at the
/// same position the longer name wins, at equal length the province entry);
/// the city is the longest city entry of that province that occurs in the
/// text. Nothing when no entry occurs, or the text is longer than
/// MaxPlaceTextLength.
std::optional<ResolvedAddress> ResolveAddress(QStringView text);

/// The last entry of the table whose name occurs in @p text, or nothing (also
/// for a text longer than MaxPlaceTextLength).
/// "江苏南京" names both the province and the city; the city comes later in
/// the table and wins.
std::optional<RegionMatch> MatchRegion(QStringView text);

} // namespace Kuaidi
