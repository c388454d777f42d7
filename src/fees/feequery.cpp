#include "feequery.h"

#include <core/numbertext.h>
#include <core/tolerance.h>
#include <ratedb/ratedatabase.h>

namespace Kuaidi {

QList<MatchedRateRow> DestinationSearch(RateDatabase &database, const QStringList &templates,
                                        const QString &destination, QStringList *failedTemplates)
{
    QList<MatchedRateRow> matched;
    const QList<RegionSearchResult> results = database.findRowsByRegion(templates, destination);
    for (const RegionSearchResult &result : results) {
        if (result.failed && failedTemplates)
            failedTemplates->append(result.templateName);
        for (const QStringList &cells : result.rows)
            matched.append({cells, result.templateName});
    }
    return matched;
}

QList<FeeQuote> ComputeFees(const QList<MatchedRateRow> &rows, double weight, QStringView levelName)
{
    QList<FeeQuote> quotes;
    quotes.reserve(rows.size());
    for (const MatchedRateRow &row : rows) {
        if (std::optional<FeeQuote> quote = ComputeFeeQuote(row, weight, levelName))
            quotes.append(std::move(*quote));
    }
    return quotes;
}

QList<int> cheapestQuotes(const QList<FeeQuote> &quotes)
{
    QList<int> cheapest;
    double lowest = 0;
    for (int i = 0; i < quotes.size(); ++i) {
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
