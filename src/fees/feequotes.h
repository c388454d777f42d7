#pragma once

#include "feequote.h"

#include <QList>

#include <iterator>
#include <memory>

namespace Kuaidi {

/// The quotes of a computation, one a matched row. Rows of one quote group of
/// a template share one quote that differs only in 目的地名 and 匹配方式, so a
/// quote is a few bytes; a FeeQuote is made when asked for.
class FeeQuotes
{
public:
    qsizetype size() const { return m_refs.size(); }
    bool isEmpty() const { return m_refs.isEmpty(); }

    FeeQuote at(qsizetype i) const;
    /// One of the cells of quote @p i (see FeeQuote::cell()), without making it.
    QString cell(qsizetype i, int column) const;
    QString courier(qsizetype i) const { return shared(i).courier; }
    bool isPriced(qsizetype i) const { return shared(i).priced; }
    /// Priced with a total above 0.
    bool hasFee(qsizetype i) const { return m_hasFee.at(m_refs.at(i).shared); }
    double total(qsizetype i) const { return m_totals.at(m_refs.at(i).shared); }
    const BilledWeight &billing(qsizetype i) const { return shared(i).billing; }

    /// Positions of the quotes with the lowest total, as cheapestQuotes().
    QList<int> cheapest() const;

    operator QList<FeeQuote>() const;

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = FeeQuote;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = FeeQuote;

        const_iterator(const FeeQuotes *quotes, qsizetype i) : m_quotes(quotes), m_i(i) {}
        FeeQuote operator*() const { return m_quotes->at(m_i); }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        friend bool operator==(const const_iterator &, const const_iterator &) = default;

    private:
        const FeeQuotes *m_quotes;
        qsizetype m_i;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    /// Adds a quote that rows may share; returns its number.
    quint32 addShared(FeeQuote quote);
    /// The same for a quote whose price texts are written from @p figures
    /// when asked for; @p quote holds the rest.
    quint32 addShared(FeeQuote quote, const FeeFigures &figures);
    /// A quote of the shared quote @p shared for row @p row of @p source
    /// (its 地区 becomes the quote's), or, without a source, the shared quote
    /// as it is.
    void append(quint32 shared, const std::shared_ptr<const TemplateRows> &source, qsizetype row,
                MatchKind match);
    void reserve(qsizetype quotes) { m_refs.reserve(quotes); }

private:
    struct Ref
    {
        quint32 shared;
        qint32 source; // -1: none
        quint32 row;
        MatchKind match;
    };

    struct Shared
    {
        FeeQuote quote;
        std::optional<FeeFigures> figures; // the price texts, when quote lacks them
    };
    // Moved in memory when the list grows: all its parts allow it.
    friend class QTypeInfo<Shared>;

    const FeeQuote &shared(qsizetype i) const { return m_shared.at(m_refs.at(i).shared).quote; }

    QList<Shared> m_shared;
    QList<bool> m_hasFee;   // by shared quote
    QList<double> m_totals; // by shared quote
    QList<std::shared_ptr<const TemplateRows>> m_sources;
    QList<Ref> m_refs;
};

/// What a computation found, for the status line: the quotes with a fee
/// ("3 条报价，绿色为最便宜的快递"), and how many rows have none and why.
QString quoteSummary(qsizetype withFee, qsizetype unpriced, qsizetype overMaximum);

} // namespace Kuaidi

template<>
class QTypeInfo<Kuaidi::FeeQuotes::Shared>
    : public QTypeInfoMerger<Kuaidi::FeeQuotes::Shared, Kuaidi::FeeQuote>
{
};
