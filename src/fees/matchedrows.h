#pragma once

#include "feequote.h"

#include <QList>

#include <iterator>
#include <memory>

namespace Kuaidi {

/// The rows a destination search found, in search order: small references
/// into the templates' rows in memory, so that listing every row of a large
/// database costs a few bytes a row. A MatchedRateRow is made when asked for.
class MatchedRows
{
public:
    qsizetype size() const { return m_refs.size(); }
    bool isEmpty() const { return m_refs.isEmpty(); }

    MatchedRateRow at(qsizetype i) const;
    /// One cell of row @p i (one of the 41 rate columns), without making the row.
    QString cell(qsizetype i, int column) const;
    QString templateName(qsizetype i) const;
    MatchKind match(qsizetype i) const { return m_refs.at(i).match; }
    const TemplateRows &source(qsizetype i) const { return *m_sources.at(m_refs.at(i).source); }
    const std::shared_ptr<const TemplateRows> &sharedSource(qsizetype i) const
    {
        return m_sources.at(m_refs.at(i).source);
    }
    qsizetype sourceRow(qsizetype i) const { return m_refs.at(i).row; }

    operator QList<MatchedRateRow>() const;

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = MatchedRateRow;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = MatchedRateRow;

        const_iterator(const MatchedRows *rows, qsizetype i) : m_rows(rows), m_i(i) {}
        MatchedRateRow operator*() const { return m_rows->at(m_i); }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        friend bool operator==(const const_iterator &, const const_iterator &) = default;

    private:
        const MatchedRows *m_rows;
        qsizetype m_i;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    /// Adds a template the rows that follow come from; returns its number.
    quint32 addSource(std::shared_ptr<const TemplateRows> source);
    void append(quint32 source, qsizetype row, MatchKind match);
    void reserve(qsizetype rows) { m_refs.reserve(rows); }

private:
    struct Ref
    {
        quint32 source;
        quint32 row;
        MatchKind match;
    };

    QList<std::shared_ptr<const TemplateRows>> m_sources;
    QList<Ref> m_refs;
};

} // namespace Kuaidi
