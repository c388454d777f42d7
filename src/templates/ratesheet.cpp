#include "ratesheet.h"

#include "sheetheadings.h"
#include "templategrid.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>

#include <QHash>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int HeaderSearchRows = 10;
// Quoted cell texts in messages are cut: a sheet may hold anything.
constexpr qsizetype QuotedLength = 40;

QString quotedCell(const QString &text)
{
    return text.size() <= QuotedLength ? text : text.left(QuotedLength) + u'…';
}

bool isNoPriceMarker(QStringView text)
{
    static const QStringList markers{u"未填"_s, u"空"_s, u"不发"_s, u"无"_s, u"-"_s};
    return markers.contains(text.toString());
}

// A price as a sheet may hold it: a number, perhaps with "元" after it or
// "¥" before; "1,200", "1E3" and "5-8" are not, whatever they begin with.
bool isSheetPrice(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty() || isNoPriceMarker(text))
        return true;
    if (text.startsWith(u'¥') || text.startsWith(u'￥'))
        text = text.sliced(1);
    if (text.endsWith(u'元'))
        text.chop(1);
    return parseNumber(text).has_value();
}

// Which synonym of 地区 wins when a sheet has several: the plainest.
int regionRank(QStringView title)
{
    static const QStringList order{u"地区"_s, u"目的地"_s, u"到达地区"_s, u"区域"_s, u"城市"_s, u"省份"_s};
    const qsizetype at = order.indexOf(normalisedColumnTitle(title));
    return at < 0 ? int(order.size()) : int(at);
}

QString kilograms(double weight)
{
    return numberToText(weight) + u"KG"_s;
}

// One range of weights a sheet prices with a band's first and additional
// price (either may be missing).
struct BandColumns
{
    double low = 0;
    std::optional<double> high;
    SheetHeading heading; // of the one read first
    int first = -1;
    int additional = -1;
};

bool sameRange(const BandColumns &band, const SheetHeading &heading)
{
    const auto same = [](double a, double b) { return std::abs(a - b) <= Tolerance; };
    return same(band.low, heading.low) && band.high.has_value() == heading.high.has_value() &&
           (!band.high || same(*band.high, *heading.high));
}

// The headings of one sheet read together: which column is what, and the
// rules they say.
class HeadingReader
{
public:
    HeadingReader(const QStringList &titles, const QHash<QString, QString> &mapping)
        : m_titles(titles), m_mapping(mapping)
    {
        for (int c = 0; c < titles.size(); ++c)
            m_headings << headingOf(titles.at(c));
    }

    // Places columns: m_target[c] is the name column c is stored under,
    // empty when unused.
    void read(RateSheet &result)
    {
        const QStringList &columns = pricedColumns();
        m_target = QStringList(m_titles.size());
        placeRegion();
        QList<int> brackets;
        QList<int> firsts;
        QList<int> additionals;
        QList<int> minimums;
        QList<BandColumns> bands;
        for (int c = 0; c < m_headings.size(); ++c) {
            const SheetHeading &h = m_headings.at(c);
            switch (h.kind) {
            case SheetHeading::Kind::Column:
                if (h.column != columns.at(ColumnRegion))
                    place(c, h.column);
                break;
            case SheetHeading::Kind::Bracket:
                brackets << c;
                break;
            case SheetHeading::Kind::First:
                firsts << c;
                break;
            case SheetHeading::Kind::Additional:
                additionals << c;
                break;
            case SheetHeading::Kind::Minimum:
                minimums << c;
                break;
            case SheetHeading::Kind::BandFirst:
            case SheetHeading::Kind::BandAdditional: {
                auto band = std::find_if(bands.begin(), bands.end(),
                                         [&h](const BandColumns &b) { return sameRange(b, h); });
                if (band == bands.end())
                    band = bands.insert(bands.end(), BandColumns{h.low, h.high, h, -1, -1});
                int &slot = h.kind == SheetHeading::Kind::BandFirst ? band->first : band->additional;
                if (slot >= 0)
                    twice(slot, c);
                else
                    slot = c;
                break;
            }
            case SheetHeading::Kind::Other:
                break;
            }
        }
        readBrackets(brackets, result);
        readUnits(result);
        const int first = single(firsts);
        const int additional = single(additionals);
        readBands(bands, first, additional, result);
        if (const int minimum = single(minimums); minimum >= 0)
            place(minimum, columns.at(ColumnMinimumFee));
        for (const int c : firsts) {
            if (const std::optional<double> f = m_headings.at(c).firstWeight) {
                if (result.rules.firstWeight && *result.rules.firstWeight != *f)
                    m_problems << u"两列的首重重量不同：“%1”与“%2”"_s.arg(m_titles.at(firsts.first()),
                                                                          m_titles.at(c));
                result.rules.firstWeight = f;
            }
        }
        for (int c = 0; c < m_titles.size(); ++c) {
            if (m_target.at(c).isEmpty() && !normalisedColumnTitle(m_titles.at(c)).isEmpty())
                result.unusedColumns << m_titles.at(c);
        }
        result.problems << m_problems;
    }

    QString target(int c) const { return m_target.at(c); }
    QString title(int c) const { return m_titles.at(c); }
    const SheetHeading &heading(int c) const { return m_headings.at(c); }
    int size() const { return int(m_titles.size()); }

private:
    SheetHeading headingOf(const QString &title) const
    {
        const auto chosen = m_mapping.constFind(title);
        if (chosen == m_mapping.cend())
            return readSheetHeading(title);
        SheetHeading heading;
        const QStringList &columns = pricedColumns();
        if (*chosen == columns.at(ColumnFirstWeight))
            heading.kind = SheetHeading::Kind::First;
        else if (*chosen == columns.at(ColumnAdditionalWeight))
            heading.kind = SheetHeading::Kind::Additional;
        else if (*chosen == columns.at(ColumnMinimumFee))
            heading.kind = SheetHeading::Kind::Minimum;
        else if (columns.contains(*chosen)) {
            heading.kind = SheetHeading::Kind::Column;
            heading.column = *chosen;
        }
        return heading; // "不使用": Other
    }

    void place(int c, const QString &name)
    {
        if (m_target.contains(name)) {
            twice(int(m_target.indexOf(name)), c);
            return;
        }
        m_target[c] = name;
    }

    void twice(int a, int b)
    {
        const QString fix = u"请只留一列，或用“指定列…”把一列设为不使用"_s;
        if (m_titles.at(a).trimmed() == m_titles.at(b).trimmed()) {
            m_problems << u"两列都叫“%1”，%2"_s.arg(m_titles.at(a).trimmed(), fix);
            return;
        }
        m_problems << u"“%1”和“%2”说的是同一列（%3），%4"_s.arg(m_titles.at(a), m_titles.at(b),
                                                                headingName(m_headings.at(b)), fix);
    }

    static QString headingName(const SheetHeading &h)
    {
        switch (h.kind) {
        case SheetHeading::Kind::Column:
            return h.column;
        case SheetHeading::Kind::First:
        case SheetHeading::Kind::BandFirst:
            return u"首重价格"_s;
        case SheetHeading::Kind::Additional:
        case SheetHeading::Kind::BandAdditional:
            return u"续重价格"_s;
        case SheetHeading::Kind::Minimum:
            return u"最低收费"_s;
        case SheetHeading::Kind::Bracket:
            return u"重量段"_s;
        case SheetHeading::Kind::Other:
            break;
        }
        return {};
    }

    // The one column of a kind, -1 for none; two are a contradiction.
    int single(const QList<int> &of)
    {
        if (of.size() > 1)
            twice(of.at(0), of.at(1));
        return of.isEmpty() ? -1 : of.first();
    }

    void placeRegion()
    {
        int best = -1;
        for (int c = 0; c < m_headings.size(); ++c) {
            const SheetHeading &h = m_headings.at(c);
            if (h.kind != SheetHeading::Kind::Column || h.column != pricedColumns().at(ColumnRegion))
                continue;
            const bool chosen = m_mapping.contains(m_titles.at(c));
            if (best < 0 || (chosen && !m_mapping.contains(m_titles.at(best))) ||
                (chosen == m_mapping.contains(m_titles.at(best)) &&
                 regionRank(m_titles.at(c)) < regionRank(m_titles.at(best))))
                best = c;
        }
        if (best >= 0)
            m_target[best] = pricedColumns().at(ColumnRegion);
    }

    void readBrackets(const QList<int> &brackets, RateSheet &result)
    {
        for (const int c : brackets) {
            const double limit = *m_headings.at(c).high;
            if (!result.rules.brackets.isEmpty() && !(limit - result.rules.brackets.last() > Tolerance)) {
                m_problems << u"重量段的上限要从左到右变大：“%1”不大于它前面的“%2”"_s.arg(
                    m_titles.at(c), m_titles.at(brackets.at(result.rules.brackets.size() - 1)));
                return;
            }
            if (result.rules.brackets.size() == MaxBrackets) {
                m_problems << u"重量段最多 %1 个，“%2”是第 %3 个"_s.arg(MaxBrackets)
                                  .arg(m_titles.at(c))
                                  .arg(MaxBrackets + 1);
                return;
            }
            place(c, pricedColumns().at(bracketColumnIndex(int(result.rules.brackets.size()))));
            result.rules.brackets << limit;
        }
    }

    void readUnits(RateSheet &result)
    {
        int from = -1;
        for (int c = 0; c < m_headings.size(); ++c) {
            const std::optional<double> unit = m_headings.at(c).unit;
            if (!unit)
                continue;
            if (*unit != 1 && *unit != 0.5) {
                m_problems << u"“%1”：续重单位只能是 1KG 或 0.5KG"_s.arg(m_titles.at(c));
            } else if (result.rules.additionalUnit && *result.rules.additionalUnit != *unit) {
                m_problems << u"两列的续重单位不同：“%1”与“%2”"_s.arg(m_titles.at(from), m_titles.at(c));
            } else {
                result.rules.additionalUnit = unit;
                from = c;
            }
        }
    }

    // Bands in order of their weights. Without brackets and without a plain
    // additional price, the lowest range is the row's own first and
    // additional weight; every other band starts where the range below it
    // ends, the first above the brackets at their last limit.
    void readBands(QList<BandColumns> bands, int first, int additional, RateSheet &result)
    {
        std::stable_sort(bands.begin(), bands.end(), [](const BandColumns &a, const BandColumns &b) {
            return a.low < b.low - Tolerance ||
                   (std::abs(a.low - b.low) <= Tolerance && a.high.value_or(1e300) < b.high.value_or(1e300));
        });
        const QStringList &columns = pricedColumns();
        std::optional<double> below; // the upper end of the range below
        if (!bands.isEmpty() && result.rules.brackets.isEmpty() && additional < 0) {
            const BandColumns own = bands.takeFirst();
            additional = own.additional;
            if (first < 0)
                first = own.first;
            else if (own.first >= 0)
                twice(first, own.first);
            below = own.high;
        }
        if (first >= 0)
            place(first, columns.at(ColumnFirstWeight));
        if (additional >= 0)
            place(additional, columns.at(ColumnAdditionalWeight));
        for (const BandColumns &band : std::as_const(bands)) {
            const int b = int(result.rules.bandStarts.size());
            double start = band.heading.bandStart();
            if (b == 0 && !result.rules.brackets.isEmpty())
                start = qMax(result.rules.brackets.last(), start);
            else if (below)
                start = *below;
            if (!result.rules.bandStarts.isEmpty() && !(start - result.rules.bandStarts.last() > Tolerance)) {
                m_problems << u"价格区间重叠：“%1”"_s.arg(
                    m_titles.at(band.additional >= 0 ? band.additional : band.first));
                return;
            }
            if (b == MaxBands) {
                m_problems << u"价格区间最多 %1 个"_s.arg(MaxBands);
                return;
            }
            if (band.first >= 0)
                place(band.first, columns.at(bandColumnIndex(b, FieldFirstWeight)));
            if (band.additional >= 0)
                place(band.additional, columns.at(bandColumnIndex(b, FieldAdditionalWeight)));
            result.rules.bandStarts << start;
            below = band.high;
        }
    }

    QStringList m_titles;
    QHash<QString, QString> m_mapping;
    QList<SheetHeading> m_headings;
    QStringList m_target;
    QStringList m_problems;
};

// What a heading was read as, for the seller to check before saving.
QString understoodLine(const QString &title, const QString &target, const SheetRules &rules)
{
    const QStringList &columns = pricedColumns();
    const qsizetype at = columns.indexOf(target);
    QString meaning;
    if (at >= ColumnFirstBracket && at < ColumnFirstBand) {
        meaning = u"重量段 ≤"_s + kilograms(rules.brackets.value(at - ColumnFirstBracket));
    } else if (at >= ColumnFirstBand && at < ColumnMinimumFee) {
        const int band = int(at - ColumnFirstBand) / 2;
        meaning = kilograms(rules.bandStarts.value(band)) + u"以上的"_s +
                  ((at - ColumnFirstBand) % 2 == 0 ? u"首重价格"_s : u"续重价格"_s);
    } else {
        meaning = target;
    }
    return u"“%1”：%2"_s.arg(quotedCell(title), meaning);
}

} // namespace

const QStringList &rateSheetTargets()
{
    static const QStringList targets = [] {
        const QStringList &columns = pricedColumns();
        QStringList t;
        for (const int c :
             {int(ColumnRegion), int(ColumnProvince), int(ColumnCityGrade), int(ColumnFirstWeight),
              int(ColumnAdditionalWeight), int(ColumnSurcharge20To30), int(ColumnSurcharge30To50),
              int(ColumnOtherFee), int(ColumnContact), int(ColumnArrivalTime), int(ColumnMinimumFee)})
            t << columns.at(c);
        t << u"不使用"_s;
        return t;
    }();
    return targets;
}

BillingRules SheetRules::appliedTo(BillingRules base) const
{
    if (firstWeight)
        base.firstWeight = *firstWeight;
    if (additionalUnit) {
        base.additionalUnit = *additionalUnit;
        if (*additionalUnit == 0.5 && base.rounding == BillingRules::Rounding::None)
            base.rounding = BillingRules::Rounding::HalfKilogram;
    }
    if (!brackets.isEmpty() || !bandStarts.isEmpty()) {
        base.brackets = brackets;
        base.bandStarts = bandStarts;
    }
    return base;
}

RateSheet readRateSheet(const TextTable &raw, const QHash<QString, QString> &mapping)
{
    RateSheet result;
    const qsizetype rowCount = 1 + raw.rows.size();
    const auto rowAt = [&raw](qsizetype i) -> const QStringList & {
        return i == 0 ? raw.columns : raw.rows.at(i - 1);
    };
    // The seller's own number of a row: its place in the file where known.
    const auto rowNumber = [&raw](qsizetype i) {
        const int known = raw.sourceRow(i - 1);
        return known > 0 ? qsizetype(known) : i + 1;
    };
    const QString region = pricedColumns().at(ColumnRegion);
    qsizetype header = -1;
    for (qsizetype i = 0; i < qMin(rowCount, qsizetype(HeaderSearchRows)) && header < 0; ++i) {
        const QStringList &cells = rowAt(i);
        if (std::any_of(cells.cbegin(), cells.cend(), [&](const QString &cell) {
                return mapping.value(cell) == region ||
                       (!mapping.contains(cell) && readSheetHeading(cell).column == region);
            }))
            header = i;
    }
    if (header < 0) {
        result.headings = raw.columns;
        result.headingTargets = QStringList(raw.columns.size(), QString());
        result.problems << u"缺少“地区”列：前 %1 行中没有地区、目的地、到达地区、区域、省份或城市"_s.arg(
            HeaderSearchRows);
        return result;
    }

    HeadingReader headings(rowAt(header), mapping);
    headings.read(result);
    result.headings = rowAt(header);
    for (int c = 0; c < headings.size(); ++c)
        result.headingTargets << headings.target(c);
    const QStringList &columns = pricedColumns();
    QHash<QString, int> from;
    for (int c = 0; c < headings.size(); ++c) {
        if (!headings.target(c).isEmpty())
            from.insert(headings.target(c), c);
    }
    const QStringList &rateColumns = RateColumns();
    result.wholeTemplate = std::all_of(rateColumns.cbegin(), rateColumns.cend(),
                                       [&from](const QString &c) { return from.contains(c); });
    result.ownProvinces = !result.wholeTemplate && from.contains(columns.at(ColumnProvince)) &&
                          from.contains(columns.at(ColumnCityGrade));
    const bool byWeight = !result.rules.brackets.isEmpty() || !result.rules.bandStarts.isEmpty();
    QStringList missing;
    if (!from.contains(region))
        missing << region;
    if (!from.contains(columns.at(ColumnFirstWeight)) && !byWeight)
        missing << columns.at(ColumnFirstWeight);
    if (!from.contains(columns.at(ColumnAdditionalWeight)) && result.rules.bandStarts.isEmpty() &&
        (from.contains(columns.at(ColumnFirstWeight)) || !byWeight))
        missing << columns.at(ColumnAdditionalWeight);
    if (!missing.isEmpty())
        result.problems
            << u"缺少“%1”列（表头在第 %2 行）"_s.arg(missing.join(u"”、“")).arg(rowNumber(header));

    // The template's columns first, then the prices by weight, then every
    // other column as it comes.
    QStringList order = result.wholeTemplate
                            ? rateColumns
                            : QStringList{region, columns.at(ColumnFirstWeight),
                                          columns.at(ColumnAdditionalWeight), columns.at(ColumnArrivalTime)};
    if (result.ownProvinces) {
        order.insert(1, columns.at(ColumnCityGrade));
        order.insert(1, columns.at(ColumnProvince));
    }
    for (int c = RateColumnCount; c < PricedColumnCount; ++c) {
        // A band's two prices go together, as the template stores them: the
        // one the sheet lacks stays blank.
        const bool inBand = c >= ColumnFirstBand && c < ColumnMinimumFee;
        const int partner = ColumnFirstBand + ((c - ColumnFirstBand) ^ 1);
        if (from.contains(columns.at(c)) || (inBand && from.contains(columns.at(partner))))
            order << columns.at(c);
    }
    QList<int> source;
    for (const QString &name : std::as_const(order))
        source << from.value(name, -1);
    for (int c = 0; c < headings.size(); ++c) {
        if (!source.contains(c)) {
            order << (headings.target(c).isEmpty() ? headings.title(c) : headings.target(c));
            source << c;
        }
    }
    result.sheet.columns = order;
    for (int c = 0; c < headings.size(); ++c) {
        const QString &target = headings.target(c);
        // Every heading read otherwise than it is written, and every price
        // by weight and minimum, even under the template's own name.
        if (!target.isEmpty() && (normalisedColumnTitle(headings.title(c)) != target ||
                                  columns.indexOf(target) >= RateColumnCount))
            result.understood << understoodLine(headings.title(c), target, result.rules);
    }
    if (result.rules.firstWeight)
        result.understood << u"首重重量：%1"_s.arg(kilograms(*result.rules.firstWeight));
    if (result.rules.additionalUnit)
        result.understood << u"续重单位：%1"_s.arg(kilograms(*result.rules.additionalUnit));

    QList<int> priceColumns;
    for (qsizetype c = 0; c < order.size(); ++c) {
        const qsizetype at = columns.indexOf(order.at(c));
        if (at == ColumnFirstWeight || at == ColumnAdditionalWeight || at >= RateColumnCount)
            priceColumns << int(c);
    }
    // Footnotes sit below the last priced row, their text in the first
    // cell alone.
    qsizetype lastPriced = header;
    for (qsizetype i = header + 1; i < rowCount; ++i) {
        const QStringList &cells = rowAt(i);
        if (std::any_of(priceColumns.cbegin(), priceColumns.cend(), [&](int c) {
                return source.at(c) >= 0 && !cells.value(source.at(c)).trimmed().isEmpty();
            }))
            lastPriced = i;
    }
    QStringList badPrices;
    for (qsizetype i = header + 1; i < rowCount; ++i) {
        const QStringList &cells = rowAt(i);
        const qsizetype filled = std::count_if(cells.cbegin(), cells.cend(),
                                               [](const QString &cell) { return !cell.trimmed().isEmpty(); });
        if (filled == 0) {
            result.skippedRows << u"第 %1 行（空行）"_s.arg(rowNumber(i));
            continue;
        }
        if (i > lastPriced && filled == 1 && !cells.value(0).trimmed().isEmpty()) {
            result.skippedRows
                << u"第 %1 行（注释：%2）"_s.arg(rowNumber(i)).arg(quotedCell(cells.value(0).trimmed()));
            continue;
        }
        QStringList row;
        row.reserve(order.size());
        for (const int c : std::as_const(source))
            row << (c >= 0 ? cells.value(c) : QString());
        for (const int c : std::as_const(priceColumns)) {
            if (!isSheetPrice(row.at(c)))
                badPrices << u"第 %1 行的%2“%3”"_s.arg(rowNumber(i))
                                 .arg(headings.title(source.at(c)), quotedCell(row.at(c).trimmed()));
        }
        result.sheet.rows.append(std::move(row));
        if (!raw.sourceRows.isEmpty())
            result.sheet.sourceRows << int(rowNumber(i));
    }
    if (!raw.sourceRows.isEmpty())
        result.sheet.sourceRows.prepend(int(rowNumber(header)));
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

QStringList exportColumnTitles(const QStringList &columns, const BillingRules &rules)
{
    const QStringList &priced = pricedColumns();
    QStringList titles;
    titles.reserve(columns.size());
    for (const QString &column : columns) {
        const qsizetype at = priced.indexOf(column);
        const qsizetype bracket = at - ColumnFirstBracket;
        const qsizetype band = (at - ColumnFirstBand) / 2;
        if (at == ColumnFirstWeight && rules.firstWeight != 1) {
            titles << column + u"("_s + kilograms(rules.firstWeight) + u')';
        } else if (at == ColumnAdditionalWeight && rules.additionalUnit != 1) {
            titles << column + u"(元/"_s + kilograms(rules.additionalUnit) + u')';
        } else if (at >= ColumnFirstBracket && at < ColumnFirstBand && bracket < rules.brackets.size()) {
            titles << weightRangeText(bracket == 0 ? 0 : rules.brackets.at(bracket - 1),
                                      rules.brackets.at(bracket));
        } else if (at >= ColumnFirstBand && at < ColumnMinimumFee && band < rules.bandStarts.size()) {
            const std::optional<double> end = band + 1 < rules.bandStarts.size()
                                                  ? std::optional<double>(rules.bandStarts.at(band + 1))
                                                  : std::nullopt;
            titles << ((at - ColumnFirstBand) % 2 == 0 ? u"首重("_s : u"续重("_s) +
                          weightRangeText(rules.bandStarts.at(band), end) + u')';
        } else {
            titles << column;
        }
    }
    return titles;
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
