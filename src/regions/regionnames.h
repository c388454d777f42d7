#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace Kuaidi {

/// What a rate row's 地区 names when couriers write several places in one
/// cell ("山东、天津、江苏", "江浙沪"), or a place less some of its parts
/// ("广东(深圳除外)").
struct RegionNames
{
    /// The places named, as written; a short form spelled out as its
    /// provinces ("江浙沪" → 江苏, 浙江, 上海).
    QStringList named;
    /// The places excluded, as written, ASCII letters lowered.
    QStringList excluded;
    /// The provinces named whole, as the region table names them ("广西"):
    /// not a province named together with a city of its own ("江苏 南京" is
    /// an address in 南京, not all of 江苏).
    QStringList provinces;

    /// Whether the 地区 names more than one place, or excludes any.
    bool isGroup() const { return named.size() > 1 || !excluded.isEmpty(); }
    /// Whether one of the excluded places is @p place, part of it, or holds it
    /// ("深圳" and "深圳市"). @p place is compared as given (fold it first).
    bool excludes(QStringView place) const;
};

/// Reads a 地区 as a list of places: parts separated by "、", "，", ",", "/",
/// ";" or blanks, the couriers' short forms (江浙沪, 江浙沪皖, 京津冀, 东三省,
/// 港澳台 …), and exclusions in brackets ("(深圳除外)", "（除深圳、珠海外）",
/// "(不含深圳)") or as a part of their own ("深圳除外"). Brackets that exclude
/// nothing ("新疆(偏远地区)") are a note and name nothing.
RegionNames readRegionNames(QStringView region);

/// Whether @p region may be more than one plain place name: a quick test,
/// true for every 地区 that readRegionNames() finds a group in (and for some
/// it does not).
bool mayNameSeveralPlaces(QStringView region);

/// @p region without a trailing 省, 市, 自治区 … , as a province row is written:
/// "广西壮族自治区" → "广西".
QStringView withoutProvinceSuffix(QStringView region);

} // namespace Kuaidi
