#pragma once

#include "feequote.h"

#include <QList>

namespace Kuaidi {

class RateDatabase;

/// Every row of every template in @p templates whose 地区 contains
/// @p destination, template by template, each in table order. An empty
/// destination matches every row. A template that cannot be searched adds
/// nothing; its name goes to @p failedTemplates when given.
QList<MatchedRateRow> DestinationSearch(RateDatabase &database, const QStringList &templates,
                                        const QString &destination, QStringList *failedTemplates = nullptr);

/// One quote per matched row, in row order; empty when the level names no
/// price set or the weight is over 50 kg or not positive.
QList<FeeQuote> ComputeFees(const QList<MatchedRateRow> &rows, double weight, QStringView levelName);

/// Positions of the quotes with the lowest total (all of them on a tie).
QList<int> cheapestQuotes(const QList<FeeQuote> &quotes);

} // namespace Kuaidi
