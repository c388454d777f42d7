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

/// The last entry of the table whose name occurs in @p text, or nothing.
/// "江苏南京" names both the province and the city; the city comes later in
/// the table and wins.
std::optional<RegionMatch> MatchRegion(QStringView text);

} // namespace Kuaidi
