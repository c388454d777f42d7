#include "ratesheet.h"

#include "templategrid.h"

#include <core/numbertext.h>
#include <core/schema.h>

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int HeaderSearchRows = 10;

// The canonical title a sheet's title stands for, or the title itself.
QString canonicalTitle(QStringView title)
{
    static const QList<std::pair<QString, QStringList>> synonyms{
        {u"地区"_s, {u"目的地"_s, u"到达地区"_s, u"区域"_s, u"省份"_s, u"城市"_s}},
        {u"首重价格"_s, {u"首重"_s, u"首重费"_s}},
        {u"续重价格"_s, {u"续重"_s, u"续重费"_s}},
        {u"到达时间"_s, {u"时效"_s}},
    };
    QString text = normalisedColumnTitle(title);
    for (const auto &[canonical, others] : synonyms) {
        if (text == canonical || others.contains(text))
            return canonical;
    }
    return text;
}

bool isNoPriceMarker(QStringView text)
{
    static const QStringList markers{u"未填"_s, u"空"_s, u"不发"_s, u"无"_s, u"-"_s};
    return markers.contains(text.toString());
}

} // namespace

RateSheet readRateSheet(const TextTable &raw)
{
    RateSheet result;
    const qsizetype rowCount = 1 + raw.rows.size();
    const auto rowAt = [&raw](qsizetype i) -> const QStringList & {
        return i == 0 ? raw.columns : raw.rows.at(i - 1);
    };
    const QString region = RateColumns().at(ColumnRegion);
    qsizetype header = -1;
    for (qsizetype i = 0; i < qMin(rowCount, qsizetype(HeaderSearchRows)) && header < 0; ++i) {
        const QStringList &cells = rowAt(i);
        if (std::any_of(cells.cbegin(), cells.cend(),
                        [&region](const QString &cell) { return canonicalTitle(cell) == region; }))
            header = i;
    }
    if (header < 0) {
        result.problems << u"缺少“地区”列：前 %1 行中没有地区、目的地、到达地区、区域、省份或城市"_s.arg(
            HeaderSearchRows);
        return result;
    }

    // The template's columns first (the first column of each title), then
    // every other column as it comes; a title used twice stays twice, for
    // the check of the template's columns to name.
    const QStringList &titles = rowAt(header);
    QStringList names;
    QHash<QString, int> firstOf;
    for (int c = 0; c < titles.size(); ++c) {
        names << canonicalTitle(titles.at(c));
        firstOf.insert(names.last(), c); // keeps the last; fixed below
    }
    for (int c = int(titles.size()) - 1; c >= 0; --c)
        firstOf[names.at(c)] = c;
    const QStringList &rateColumns = RateColumns();
    result.wholeTemplate = std::all_of(rateColumns.cbegin(), rateColumns.cend(),
                                       [&firstOf](const QString &c) { return firstOf.contains(c); });
    result.ownProvinces = !result.wholeTemplate && firstOf.contains(rateColumns.at(ColumnProvince)) &&
                          firstOf.contains(rateColumns.at(ColumnCityGrade));
    QStringList leading = result.wholeTemplate ? rateColumns
                                               : QStringList{region, rateColumns.at(ColumnFirstWeight),
                                                             rateColumns.at(ColumnAdditionalWeight),
                                                             rateColumns.at(ColumnArrivalTime)};
    if (result.ownProvinces) {
        leading.insert(1, rateColumns.at(ColumnCityGrade));
        leading.insert(1, rateColumns.at(ColumnProvince));
    }
    QStringList missing;
    for (const QString &required :
         {region, rateColumns.at(ColumnFirstWeight), rateColumns.at(ColumnAdditionalWeight)}) {
        if (!firstOf.contains(required))
            missing << required;
    }
    if (!missing.isEmpty())
        result.problems << u"缺少“%1”列（表头在第 %2 行）"_s.arg(missing.join(u"”、“")).arg(header + 1);
    QStringList order;
    QList<int> from;
    QSet<int> placed;
    for (const QString &name : leading) {
        const int c = firstOf.value(name, -1);
        order << name;
        from << c;
        placed.insert(c);
    }
    for (int c = 0; c < names.size(); ++c) {
        if (!placed.contains(c)) {
            order << names.at(c);
            from << c;
        }
    }

    result.sheet.columns = order;
    const int first = int(order.indexOf(rateColumns.at(ColumnFirstWeight)));
    const int additional = int(order.indexOf(rateColumns.at(ColumnAdditionalWeight)));
    QStringList badPrices;
    for (qsizetype i = header + 1; i < rowCount; ++i) {
        const QStringList &cells = rowAt(i);
        QStringList row;
        row.reserve(order.size());
        for (const int c : std::as_const(from))
            row << (c >= 0 ? cells.value(c) : QString());
        for (const int c : {first, additional}) {
            if (c < 0)
                continue;
            const QString price = row.at(c).trimmed();
            if (!price.isEmpty() && !isNoPriceMarker(price) && !leadingNumber(price))
                badPrices << u"第 %1 行的%2“%3”"_s.arg(i + 1).arg(order.at(c), price);
        }
        result.sheet.rows.append(std::move(row));
    }
    if (!badPrices.isEmpty()) {
        constexpr qsizetype Named = 20;
        QString list = badPrices.mid(0, Named).join(u"、");
        if (badPrices.size() > Named)
            list += u" 等 %1 处"_s.arg(badPrices.size());
        result.problems << u"价格不是数字：%1（可以是数字、空白或 未填、空、不发、无、-）"_s.arg(list);
    }
    return result;
}

TextTable newTemplateGrid(const RateSheet &sheet, const NewTemplateDefaults &defaults)
{
    if (sheet.wholeTemplate)
        return sheet.sheet;
    TextTable grid = importGridFromSheet(sheet.sheet);
    MatchProvinces(grid, sheet.ownProvinces);
    previewNewTemplate(grid, defaults);
    return grid;
}

std::optional<BillingRules> billingRulesFromSheet(const TextTable &sheet)
{
    // Exports made before the later rules have the first three only.
    const QStringList &names = billingRuleNames();
    if (sheet.columns.size() < 3 || sheet.columns != names.mid(0, sheet.columns.size()) ||
        sheet.rows.isEmpty())
        return std::nullopt;
    return billingRulesFromTexts(sheet.rows.first().mid(0, sheet.columns.size()));
}

TextTable billingRulesSheet(const BillingRules &rules)
{
    TextTable sheet;
    sheet.columns = billingRuleNames();
    sheet.rows = {billingRuleTexts(rules)};
    return sheet;
}

} // namespace Kuaidi
