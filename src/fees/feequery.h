#pragma once

#include "feequote.h"
#include "feequotes.h"
#include "matchedrows.h"

#include <QHash>
#include <QList>

namespace Kuaidi {

class RateDatabase;

/// How far a destination search looks.
enum class SearchScope {
    Exact,        ///< only rows whose 地区 contains the text, as typed
    WithFallback, ///< and, for a template without such a row, its city or province row
};

/// Every row of every template in @p templates whose 地区 contains
/// @p destination, template by template, each in table order. An empty
/// destination matches every row.
///
/// With the fallback, a template that contributes no row contributes the
/// rows whose 地区 contains the city the destination resolves to (a whole
/// address is read by ResolveAddress()); failing those, its province rows:
/// the rows whose 地区, without a trailing 省, 市, 自治区 … , is the province.
/// Each row says how it was found.
///
/// A template that cannot be searched adds nothing; its name goes to
/// @p failedTemplates when given.
MatchedRows DestinationSearch(RateDatabase &database, const QStringList &templates,
                              const QString &destination, QStringList *failedTemplates = nullptr,
                              SearchScope scope = SearchScope::WithFallback);

/// Whether @p region names the province @p province as a province row does:
/// "江苏", "江苏省", "广西壮族自治区", "香港特别行政区".
bool isProvinceRegion(QStringView region, QStringView province);

/// A destination as an order list gives it, read once for every template.
struct OrderDestination
{
    QString text;     ///< as written
    QString folded;   ///< ASCII letters lowered, as 地区 is compared
    QString city;     ///< the city it resolves to, folded; empty when none
    QString province; ///< the province it resolves to; empty when none

    /// Orders with the same key find the same row in every template.
    QString key() const;
};

/// Reads @p text with ResolveAddress().
OrderDestination orderDestination(const QString &text);

/// The one row of @p rows that prices a parcel to @p destination: the first
/// row whose 地区 contains the city the text resolves to; else the first
/// province row of its province; else, for a text that resolves to nothing,
/// the first row whose 地区 contains the text. -1 when there is none.
qsizetype orderRow(const TemplateRows &rows, const OrderDestination &destination);

/// One parcel: its weight in kilograms and, when known, its volume in m³.
struct Parcel
{
    double weight = 0;
    std::optional<double> volume;
};

/// One quote per matched row, in row order, each under its template's billing
/// rules (@p rules by template name; the defaults for a template missing
/// there). Empty when the level names no price set or the weight is not
/// positive; a row whose billed weight is over 50 kg gets no quote.
FeeQuotes ComputeFees(const MatchedRows &rows, const Parcel &parcel, QStringView levelName,
                      const QHash<QString, BillingRules> &rules = {});
FeeQuotes ComputeFees(const QList<MatchedRateRow> &rows, const Parcel &parcel, QStringView levelName,
                      const QHash<QString, BillingRules> &rules = {});

/// The same for a parcel of @p weight kilograms under the default rules.
FeeQuotes ComputeFees(const MatchedRows &rows, double weight, QStringView levelName);
FeeQuotes ComputeFees(const QList<MatchedRateRow> &rows, double weight, QStringView levelName);

/// Positions of the quotes with the lowest total (all of them on a tie),
/// among those with a fee: a row without a price, or a total at or below 0,
/// is never the cheapest.
QList<int> cheapestQuotes(const QList<FeeQuote> &quotes);

} // namespace Kuaidi
