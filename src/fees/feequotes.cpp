#include "feequotes.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

FeeQuote FeeQuotes::at(qsizetype i) const
{
    const Ref &ref = m_refs.at(i);
    const Shared &shared = m_shared.at(ref.shared);
    FeeQuote quote = shared.quote;
    if (shared.figures)
        shared.figures->writeTo(quote);
    if (ref.source >= 0) {
        quote.destination = m_sources.at(ref.source)->cell(ref.row, ColumnRegion);
        quote.match = matchKindText(ref.match);
    }
    return quote;
}

QString FeeQuotes::cell(qsizetype i, int column) const
{
    const Ref &ref = m_refs.at(i);
    if (ref.source >= 0 && column == 1)
        return m_sources.at(ref.source)->cell(ref.row, ColumnRegion);
    if (ref.source >= 0 && column == 10)
        return matchKindText(ref.match);
    const Shared &shared = m_shared.at(ref.shared);
    if (shared.figures && FeeFigures::isFigureColumn(column))
        return shared.figures->text(column);
    return shared.quote.cell(column);
}

QList<int> FeeQuotes::cheapest() const
{
    QList<int> cheapest;
    double lowest = 0;
    for (int i = 0; i < size(); ++i) {
        if (!hasFee(i))
            continue;
        const double value = total(i);
        if (cheapest.isEmpty() || value < lowest - Tolerance) {
            cheapest = {i};
            lowest = value;
        } else if (value - lowest <= Tolerance) {
            cheapest.append(i);
        }
    }
    return cheapest;
}

FeeQuotes::operator QList<FeeQuote>() const
{
    QList<FeeQuote> quotes;
    quotes.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        quotes.append(at(i));
    return quotes;
}

quint32 FeeQuotes::addShared(FeeQuote quote)
{
    m_hasFee.append(quote.hasFee());
    m_totals.append(quote.priced ? textToNumber(quote.total) : 0);
    m_shared.append({std::move(quote), std::nullopt});
    return quint32(m_shared.size() - 1);
}

quint32 FeeQuotes::addShared(FeeQuote quote, const FeeFigures &figures)
{
    m_hasFee.append(figures.priced && figures.total > 0);
    m_totals.append(figures.priced ? figures.total : 0);
    quote.priced = figures.priced;
    m_shared.append({std::move(quote), figures});
    return quint32(m_shared.size() - 1);
}

void FeeQuotes::append(quint32 shared, const std::shared_ptr<const TemplateRows> &source, qsizetype row,
                       MatchKind match)
{
    qint32 index = -1;
    if (source) {
        if (m_sources.isEmpty() || m_sources.last() != source)
            m_sources.append(source);
        index = qint32(m_sources.size() - 1);
    }
    m_refs.append({shared, index, quint32(row), match});
}

QString quoteSummary(qsizetype withFee, qsizetype unpriced, qsizetype overMaximum)
{
    QStringList without;
    if (unpriced > 0)
        without << u"%1 条未报价"_s.arg(unpriced);
    if (overMaximum > 0)
        without << u"%1 条超过最大重量"_s.arg(overMaximum);
    if (withFee == 0)
        return u"没有快递能为这个重量报价（%1）"_s.arg(without.join(u"，"));
    QString text = u"共 %1 条报价，绿色为最便宜的快递"_s.arg(withFee);
    if (!without.isEmpty())
        text += u"；另有 "_s + without.join(u"，");
    return text;
}

} // namespace Kuaidi
