#include "feequery.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <ratedb/ratedatabase.h>
#include <regions/regiontable.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Longest first, so that "广西壮族自治区" loses "壮族自治区", not "自治区".
const QStringList &provinceSuffixes()
{
    static const QStringList suffixes{u"维吾尔自治区"_s, u"壮族自治区"_s, u"回族自治区"_s, u"特别行政区"_s,
                                      u"自治区"_s,       u"省"_s,         u"市"_s};
    return suffixes;
}

void appendRows(QList<MatchedRateRow> &matched, const QString &name, const QList<QStringList> &rows,
                MatchKind match)
{
    for (const QStringList &cells : rows)
        matched.append({cells, name, match});
}

} // namespace

bool isProvinceRegion(QStringView region, QStringView province)
{
    region = region.trimmed();
    for (const QString &suffix : provinceSuffixes()) {
        if (region.endsWith(suffix) && region.size() > suffix.size()) {
            region.chop(suffix.size());
            break;
        }
    }
    return region == province;
}

QList<MatchedRateRow> DestinationSearch(RateDatabase &database, const QStringList &templates,
                                        const QString &destination, QStringList *failedTemplates,
                                        SearchScope scope)
{
    const QList<RegionSearchResult> results = database.findRowsByRegion(templates, destination);
    QStringList empty;
    for (const RegionSearchResult &result : results) {
        if (result.failed && failedTemplates)
            failedTemplates->append(result.templateName);
        else if (result.rows.isEmpty())
            empty.append(result.templateName);
    }

    // The fallback rows of the templates that found nothing, by template.
    QHash<QString, QPair<QList<QStringList>, MatchKind>> fallback;
    const std::optional<ResolvedAddress> address =
        scope == SearchScope::WithFallback && !destination.isEmpty() ? ResolveAddress(destination)
                                                                     : std::nullopt;
    if (address && !empty.isEmpty() && address->city) {
        for (const RegionSearchResult &result :
             database.findRowsByRegion(empty, address->city->name.toString())) {
            if (!result.rows.isEmpty()) {
                fallback.insert(result.templateName, {result.rows, MatchKind::City});
                empty.removeOne(result.templateName);
            }
        }
    }
    if (address && !empty.isEmpty()) {
        const QString province = address->province->name.toString();
        for (const RegionSearchResult &result : database.findRowsByRegion(empty, province)) {
            QList<QStringList> rows;
            for (const QStringList &cells : result.rows) {
                if (isProvinceRegion(cells.value(ColumnRegion), province))
                    rows.append(cells);
            }
            if (!rows.isEmpty())
                fallback.insert(result.templateName, {rows, MatchKind::Province});
        }
    }

    QList<MatchedRateRow> matched;
    for (const RegionSearchResult &result : results) {
        appendRows(matched, result.templateName, result.rows, MatchKind::Region);
        if (const auto it = fallback.constFind(result.templateName); it != fallback.cend())
            appendRows(matched, result.templateName, it->first, it->second);
    }
    return matched;
}

QList<FeeQuote> ComputeFees(const QList<MatchedRateRow> &rows, const Parcel &parcel, QStringView levelName,
                            const QHash<QString, BillingRules> &rules)
{
    QList<FeeQuote> quotes;
    if (!(parcel.weight > 0))
        return quotes;
    quotes.reserve(rows.size());
    QHash<QString, BilledWeight> weights;
    for (const MatchedRateRow &row : rows) {
        auto weight = weights.constFind(row.templateName);
        if (weight == weights.cend()) {
            weight = weights.insert(
                row.templateName, billedWeight(parcel.weight, parcel.volume, rules.value(row.templateName)));
        }
        if (std::optional<FeeQuote> quote = ComputeFeeQuote(row, *weight, levelName))
            quotes.append(std::move(*quote));
    }
    return quotes;
}

QList<FeeQuote> ComputeFees(const QList<MatchedRateRow> &rows, double weight, QStringView levelName)
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
