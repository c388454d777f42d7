#include "regionnames.h"

#include "regiontable.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <bitset>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// The groups couriers write in short, and the provinces they stand for.
constexpr std::array<std::pair<QStringView, QStringView>, 22> ShortForms{{
    {u"江浙沪皖", u"江苏 浙江 上海 安徽"},
    {u"江浙皖沪", u"江苏 浙江 安徽 上海"},
    {u"苏浙沪皖", u"江苏 浙江 上海 安徽"},
    {u"沪苏浙皖", u"上海 江苏 浙江 安徽"},
    {u"江浙沪", u"江苏 浙江 上海"},
    {u"苏浙沪", u"江苏 浙江 上海"},
    {u"沪苏浙", u"上海 江苏 浙江"},
    {u"江浙皖", u"江苏 浙江 安徽"},
    {u"江浙", u"江苏 浙江"},
    {u"京津冀", u"北京 天津 河北"},
    {u"京津", u"北京 天津"},
    {u"东三省", u"辽宁 吉林 黑龙江"},
    {u"东北三省", u"辽宁 吉林 黑龙江"},
    {u"港澳台", u"香港 澳门 台湾"},
    {u"港澳", u"香港 澳门"},
    {u"两广", u"广东 广西"},
    {u"两湖", u"湖南 湖北"},
    {u"川渝", u"四川 重庆"},
    {u"云贵川", u"云南 贵州 四川"},
    {u"云贵", u"云南 贵州"},
    {u"青藏", u"青海 西藏"},
    {u"西北五省", u"陕西 甘肃 青海 宁夏 新疆"},
}};

// Longest first, so that "广西壮族自治区" loses "壮族自治区", not "自治区".
constexpr std::array<QStringView, 7> ProvinceSuffixes{
    u"维吾尔自治区", u"壮族自治区", u"回族自治区", u"特别行政区", u"自治区", u"省", u"市"};

// What starts and ends an exclusion: "除深圳外", "不含深圳", "深圳除外".
constexpr std::array<QStringView, 5> ExclusionStarts{u"除了", u"不包括", u"不包含", u"不含", u"除"};
constexpr std::array<QStringView, 3> ExclusionEnds{u"除外", u"以外", u"外"};

bool isSeparator(QChar c)
{
    return c.isSpace() || u"、，,/／;；+＋"_s.contains(c);
}

bool isOpening(QChar c)
{
    return c == u'(' || c == u'（' || c == u'[' || c == u'【' || c == u'〔';
}

bool isClosing(QChar c)
{
    return c == u')' || c == u'）' || c == u']' || c == u'】' || c == u'〕';
}

QList<QStringView> splitPlaces(QStringView text)
{
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSeparator(text.at(i))) {
            if (i > start)
                parts.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// The places an exclusion names, or nothing when @p text is no exclusion.
std::optional<QList<QStringView>> excludedPlaces(QStringView text)
{
    bool exclusion = false;
    for (const QStringView start : ExclusionStarts) {
        if (text.startsWith(start)) {
            text = text.sliced(start.size());
            exclusion = true;
            break;
        }
    }
    for (const QStringView end : ExclusionEnds) {
        // A bare 外 ends an exclusion only after a 除 at its start.
        if (text.endsWith(end) && (exclusion || end != u"外")) {
            text.chop(end.size());
            exclusion = true;
            break;
        }
    }
    if (!exclusion)
        return std::nullopt;
    return splitPlaces(text);
}

QString folded(QStringView text)
{
    QString result = text.toString();
    for (QChar &c : result) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return result;
}

// The region table's entries by name, the first of each name.
const RegionEntry *entryNamed(QStringView name)
{
    static const QHash<QStringView, const RegionEntry *> byName = [] {
        QHash<QStringView, const RegionEntry *> names;
        for (const RegionEntry &entry : RegionTable::entries()) {
            if (!names.contains(entry.name))
                names.insert(entry.name, &entry);
        }
        return names;
    }();
    return byName.value(name);
}

void addNamed(RegionNames &names, QStringView place)
{
    for (const auto &[form, provinces] : ShortForms) {
        if (place == form) {
            for (const QStringView province : provinces.split(u' '))
                names.named << province.toString();
            return;
        }
    }
    names.named << place.toString();
}

} // namespace

bool RegionNames::excludes(QStringView place) const
{
    if (place.isEmpty())
        return false;
    for (const QString &excluded : excluded) {
        if (!excluded.isEmpty() && (excluded.contains(place) || place.contains(excluded)))
            return true;
    }
    return false;
}

QStringView withoutProvinceSuffix(QStringView region)
{
    region = region.trimmed();
    for (const QStringView suffix : ProvinceSuffixes) {
        if (region.endsWith(suffix) && region.size() > suffix.size())
            return region.chopped(suffix.size());
    }
    return region;
}

bool mayNameSeveralPlaces(QStringView region)
{
    // Separators (spaces too), brackets, exclusions, and a character of every
    // short form: asked of every row read, so looked up in one step a
    // character.
    static const std::bitset<0x10000> triggers = [] {
        std::bitset<0x10000> set;
        for (const QChar c : u"、，,/／;；+＋()（）[]【】〔〕除含括浙津冀三澳两渝贵藏五"_s)
            set.set(c.unicode());
        for (char16_t c = 0; c < 0xFFFF; ++c) {
            if (QChar(c).isSpace())
                set.set(c);
        }
        return set;
    }();
    return std::any_of(region.begin(), region.end(), [](QChar c) { return triggers.test(c.unicode()); });
}

RegionNames readRegionNames(QStringView region)
{
    RegionNames names;
    region = region.trimmed();
    // Brackets out first: each is an exclusion or a note.
    QString outside;
    for (qsizetype i = 0; i < region.size(); ++i) {
        if (!isOpening(region.at(i))) {
            outside += region.at(i);
            continue;
        }
        qsizetype end = i + 1;
        while (end < region.size() && !isClosing(region.at(end)))
            ++end;
        if (const auto excluded = excludedPlaces(region.sliced(i + 1, end - i - 1).trimmed())) {
            for (const QStringView place : *excluded)
                names.excluded << folded(place);
        }
        outside += u' ';
        i = end;
    }
    for (const QStringView part : splitPlaces(outside)) {
        if (const auto excluded = excludedPlaces(part)) {
            for (const QStringView place : *excluded)
                names.excluded << folded(place);
        } else {
            addNamed(names, part);
        }
    }

    QStringList provinces;
    QStringList withCities;
    for (const QString &place : std::as_const(names.named)) {
        const RegionEntry *entry = entryNamed(withoutProvinceSuffix(place));
        if (!entry)
            continue;
        if (isProvinceEntry(*entry)) {
            if (!provinces.contains(entry->province))
                provinces << entry->province.toString();
        } else {
            withCities << entry->province.toString();
        }
    }
    for (const QString &province : std::as_const(provinces)) {
        if (!withCities.contains(province))
            names.provinces << province;
    }
    return names;
}

} // namespace Kuaidi
