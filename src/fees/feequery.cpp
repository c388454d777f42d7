#include "feequery.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <ratedb/ratedatabase.h>
#include <regions/regionnames.h>
#include <regions/regiontable.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Upper-case ASCII letters lowered, as LIKE compares them; all else as it is.
QString foldAscii(QString text)
{
    for (QChar &c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return text;
}

} // namespace

bool isProvinceRegion(QStringView region, QStringView province)
{
    return withoutProvinceSuffix(region) == province;
}

namespace {

// Whether row @p row is no match for @p needle because its 地区 excludes it,
// or excludes the city the destination resolves to.
bool excludedFrom(const TemplateRows &rows, qsizetype row, QStringView needle, QStringView city)
{
    const RegionNames *group = rows.regionGroup(row);
    return group && (group->excludes(needle) || group->excludes(city));
}

// Whether row @p row stands for all of @p province but @p city: a province
// row, or a group that names the province and does not exclude the city.
bool coversProvince(const TemplateRows &rows, qsizetype row, QStringView province, QStringView city)
{
    if (rows.regionIsNull(row))
        return false;
    if (const RegionNames *group = rows.regionGroup(row))
        return group->provinces.contains(province) && !group->excludes(city);
    return isProvinceRegion(rows.region(row), province);
}

} // namespace

QString OrderDestination::key() const
{
    if (!city.isEmpty())
        return u"c:"_s + city;
    if (!province.isEmpty())
        return u"p:"_s + province;
    return u"t:"_s + folded;
}

OrderDestination orderDestination(const QString &text)
{
    OrderDestination destination{text, foldAscii(text), {}, {}};
    const std::optional<ResolvedAddress> address = ResolveAddress(text);
    const RegionEntry *province = address ? address->province : nullptr;
    const RegionEntry *city = address ? address->city : nullptr;
    if (province)
        destination.province = province->name.toString();
    if (city)
        destination.city = foldAscii(city->name.toString());
    return destination;
}

qsizetype orderRow(const TemplateRows &rows, const OrderDestination &destination)
{
    const auto firstContaining = [&rows, &destination](QStringView needle) {
        qsizetype first = -1;
        if (!needle.isEmpty()) {
            rows.forEachRegionContaining(needle, [&](qsizetype row) {
                if (first < 0 && !excludedFrom(rows, row, needle, destination.city))
                    first = row;
            });
        }
        return first;
    };
    if (destination.province.isEmpty())
        return firstContaining(destination.folded);
    if (const qsizetype row = firstContaining(destination.city); row >= 0)
        return row;
    for (qsizetype row = 0; row < rows.rowCount(); ++row) {
        if (coversProvince(rows, row, destination.province, destination.city))
            return row;
    }
    return -1;
}

namespace {

// The rows of @p rows a search finds for @p where, each handed to
// @p found(row, kind): the rows whose 地区 contains the text; failing those,
// with a place to fall back to, those containing its city; failing those,
// those standing for its province.
template<typename Found> void findRows(const TemplateRows &rows, const OrderDestination &where, Found &&found)
{
    const QString &needle = where.folded;
    const QString &city = where.city;
    const QString &province = where.province;
    bool any = false;
    // Rows whose 地区 is NULL are LIKE nothing, not even ''.
    const auto addWhere = [&](MatchKind kind, auto &&matches) {
        for (qsizetype row = 0; row < rows.rowCount(); ++row) {
            if (!rows.regionIsNull(row) && matches(row)) {
                found(row, kind);
                any = true;
            }
        }
        return any;
    };
    // A row whose 地区 excludes the text or its city ("广东(深圳除外)" for
    // 深圳) is not found by it.
    const auto addContaining = [&](MatchKind kind, QStringView text) {
        rows.forEachRegionContaining(text, [&](qsizetype row) {
            if (!excludedFrom(rows, row, text, city)) {
                found(row, kind);
                any = true;
            }
        });
        return any;
    };
    if (needle.isEmpty() ? addWhere(MatchKind::Region, [](qsizetype) { return true; })
                         : addContaining(MatchKind::Region, needle))
        return;
    if (province.isEmpty())
        return;
    if (!city.isEmpty() && addContaining(MatchKind::City, city))
        return;
    addWhere(MatchKind::Province, [&](qsizetype r) { return coversProvince(rows, r, province, city); });
}

} // namespace

MatchedRows DestinationSearch(RateDatabase &database, const QStringList &templates,
                              const QString &destination, QStringList *failedTemplates, SearchScope scope)
{
    const QList<std::shared_ptr<const TemplateRows>> sources =
        database.searchRows(templates, failedTemplates);
    const OrderDestination resolved = scope == SearchScope::WithFallback && !destination.isEmpty()
                                          ? orderDestination(destination)
                                          : OrderDestination{destination, foldAscii(destination), {}, {}};

    MatchedRows matched;
    if (destination.isEmpty()) {
        qsizetype all = 0;
        for (const std::shared_ptr<const TemplateRows> &rows : sources)
            all += rows ? rows->rowCount() : 0;
        matched.reserve(all);
    }
    // Templates still being read answer the search from their 地区 texts:
    // the rows found there are read now with every cell, all at once.
    // (Nothing of it is made where every template is held whole.)
    const bool anyBeingRead = std::any_of(sources.cbegin(), sources.cend(),
                                          [](const auto &rows) { return rows && !rows->hasCells(); });
    std::vector<std::vector<std::pair<qsizetype, MatchKind>>> found(anyBeingRead ? size_t(sources.size())
                                                                                 : 0);
    QList<RateDatabase::RowsWanted> wanted;
    QList<qsizetype> wantedFrom;
    for (qsizetype s = 0; anyBeingRead && s < sources.size(); ++s) {
        const std::shared_ptr<const TemplateRows> &rows = sources.at(s);
        if (!rows || rows->hasCells())
            continue;
        auto &rowsFound = found[size_t(s)];
        findRows(*rows, resolved,
                 [&rowsFound](qsizetype row, MatchKind kind) { rowsFound.emplace_back(row, kind); });
        // Cells come in table order.
        std::stable_sort(rowsFound.begin(), rowsFound.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        // Most of a template is read whole: faster than row by row.
        if (rowsFound.empty() || qsizetype(rowsFound.size()) * 4 > rows->rowCount())
            continue;
        RateDatabase::RowsWanted rowsWanted{rows.get(), {}};
        rowsWanted.rows.reserve(qsizetype(rowsFound.size()));
        for (const auto &[row, kind] : rowsFound)
            rowsWanted.rows << row;
        wanted << rowsWanted;
        wantedFrom << s;
    }
    QList<std::shared_ptr<const TemplateRows>> cells;
    if (!wanted.isEmpty()) {
        cells.resize(sources.size());
        const QList<std::shared_ptr<const TemplateRows>> read = database.rowsWithCells(wanted);
        for (qsizetype w = 0; w < wanted.size(); ++w)
            cells[wantedFrom.at(w)] = read.value(w);
    }

    for (qsizetype s = 0; s < sources.size(); ++s) {
        const std::shared_ptr<const TemplateRows> &rows = sources.at(s);
        if (!rows)
            continue;
        if (rows->hasCells()) {
            const quint32 source = matched.addSource(rows);
            findRows(*rows, resolved,
                     [&](qsizetype row, MatchKind kind) { matched.append(source, row, kind); });
            continue;
        }
        const auto &rowsFound = found.at(size_t(s));
        if (rowsFound.empty())
            continue;
        if (const std::shared_ptr<const TemplateRows> read = cells.value(s)) {
            const quint32 source = matched.addSource(read);
            for (qsizetype i = 0; i < qsizetype(rowsFound.size()); ++i)
                matched.append(source, i, rowsFound.at(size_t(i)).second);
            continue;
        }
        const std::shared_ptr<const TemplateRows> whole = database.templateRows({rows->name()}).value(0);
        if (!whole) {
            if (failedTemplates)
                failedTemplates->append(rows->name());
            continue;
        }
        const quint32 source = matched.addSource(whole);
        findRows(*whole, resolved, [&](qsizetype row, MatchKind kind) { matched.append(source, row, kind); });
    }
    return matched;
}

namespace {

// Prices rows one after another, each quote group of a template once.
class Pricer
{
public:
    Pricer(const Parcel &parcel, QStringView levelName, const QHash<QString, BillingRules> &rules)
        : m_parcel(parcel), m_level(levelName), m_levelIndex(levelIndex(levelName)), m_rules(rules)
    {
    }

    void add(const MatchedRateRow &row, FeeQuotes &quotes)
    {
        const BilledWeight &weight = weightOf(row.templateName);
        if (!row.source) {
            if (std::optional<FeeQuote> quote = ComputeFeeQuote(row, weight, m_level))
                quotes.append(quotes.addShared(std::move(*quote)), nullptr, -1, row.match);
            return;
        }
        // Rows of one quote group differ in their 地区 alone: the group is
        // priced once, and its quote shared.
        const std::pair key{row.source.get(), row.source->quoteGroup(row.row)};
        auto it = m_shared.constFind(key);
        if (it == m_shared.cend()) {
            std::optional<FeeQuote> quote = ComputeFeeQuote(row, weight, m_level);
            it = m_shared.insert(key, quote ? qint64(quotes.addShared(std::move(*quote))) : NoQuote);
        }
        if (*it >= 0)
            quotes.append(quint32(*it), row.source, row.row, row.match);
    }

    // The same for found rows, which come template by template: the quote
    // groups of the template at hand are looked up by number.
    void add(const MatchedRows &rows, qsizetype i, FeeQuotes &quotes)
    {
        const std::shared_ptr<const TemplateRows> &source = rows.sharedSource(i);
        if (source.get() != m_source) {
            m_source = source.get();
            m_sourceWeight = &weightOf(m_source->name());
            m_groups.assign(m_source->quoteGroupCount(), NotPriced);
        }
        const qsizetype row = rows.sourceRow(i);
        qint64 &shared = m_groups[m_source->quoteGroup(row)];
        if (shared == NotPriced) {
            // Priced as numbers; the texts are written when the quote is shown.
            const quint32 combination = m_source->combination(row);
            const std::optional<FeeFigures> figures = computeFeeFigures(
                m_source->combinationNumbers(combination),
                leadingNumber(m_source->combinationCell(combination, ColumnFirstWeight)).has_value(),
                *m_sourceWeight, m_levelIndex);
            shared = NoQuote;
            if (figures) {
                FeeQuote quote;
                quote.courier = m_source->name();
                quote.contact = m_source->combinationCell(combination, ColumnContact);
                quote.arrivalTime = m_source->combinationCell(combination, ColumnArrivalTime);
                quote.billing = *m_sourceWeight;
                shared = qint64(quotes.addShared(std::move(quote), *figures));
            }
        }
        if (shared >= 0)
            quotes.append(quint32(shared), source, row, rows.match(i));
    }

private:
    // Rows come template by template: the weight is looked up once a run.
    const BilledWeight &weightOf(const QString &name)
    {
        if (m_last && m_lastName == name)
            return *m_last;
        auto it = m_weights.constFind(name);
        if (it == m_weights.cend())
            it = m_weights.insert(name, billedWeight(m_parcel.weight, m_parcel.volume, m_rules.value(name)));
        m_lastName = name;
        m_last = &*it;
        return *m_last;
    }

    Parcel m_parcel;
    QStringView m_level;
    int m_levelIndex;
    const QHash<QString, BillingRules> &m_rules;
    QHash<QString, BilledWeight> m_weights;
    QString m_lastName;
    const BilledWeight *m_last = nullptr;
    static constexpr qint64 NoQuote = -1;
    static constexpr qint64 NotPriced = -2;
    QHash<std::pair<const TemplateRows *, quint32>, qint64> m_shared;
    const TemplateRows *m_source = nullptr;
    const BilledWeight *m_sourceWeight = nullptr;
    std::vector<qint64> m_groups;
};

} // namespace

namespace {

// Prices `count` rows, handing each to `addRow(pricer, i, quotes)`.
template<typename AddRow>
FeeQuotes priceRows(qsizetype count, const Parcel &parcel, QStringView levelName,
                    const QHash<QString, BillingRules> &rules, AddRow addRow)
{
    FeeQuotes quotes;
    if (!(parcel.weight > 0))
        return quotes;
    quotes.reserve(count);
    Pricer pricer(parcel, levelName, rules);
    for (qsizetype i = 0; i < count; ++i)
        addRow(pricer, i, quotes);
    return quotes;
}

} // namespace

FeeQuotes ComputeFees(const MatchedRows &rows, const Parcel &parcel, QStringView levelName,
                      const QHash<QString, BillingRules> &rules)
{
    return priceRows(
        rows.size(), parcel, levelName, rules,
        [&rows](Pricer &pricer, qsizetype i, FeeQuotes &quotes) { pricer.add(rows, i, quotes); });
}

FeeQuotes ComputeFees(const QList<MatchedRateRow> &rows, const Parcel &parcel, QStringView levelName,
                      const QHash<QString, BillingRules> &rules)
{
    return priceRows(
        rows.size(), parcel, levelName, rules,
        [&rows](Pricer &pricer, qsizetype i, FeeQuotes &quotes) { pricer.add(rows.at(i), quotes); });
}

FeeQuotes ComputeFees(const MatchedRows &rows, double weight, QStringView levelName)
{
    return ComputeFees(rows, Parcel{weight, std::nullopt}, levelName);
}

FeeQuotes ComputeFees(const QList<MatchedRateRow> &rows, double weight, QStringView levelName)
{
    return ComputeFees(rows, Parcel{weight, std::nullopt}, levelName);
}

QList<int> cheapestQuotes(const QList<FeeQuote> &quotes)
{
    QList<int> cheapest;
    double lowest = 0;
    for (int i = 0; i < quotes.size(); ++i) {
        if (!quotes.at(i).hasFee())
            continue;
        const double total = textToNumber(quotes.at(i).total);
        if (cheapest.isEmpty() || total < lowest - Tolerance) {
            cheapest = {i};
            lowest = total;
        } else if (total - lowest <= Tolerance) {
            cheapest.append(i);
        }
    }
    return cheapest;
}

} // namespace Kuaidi
