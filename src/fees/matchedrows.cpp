#include "matchedrows.h"

#include <core/schema.h>

namespace Kuaidi {

MatchedRateRow MatchedRows::at(qsizetype i) const
{
    const Ref &ref = m_refs.at(i);
    const std::shared_ptr<const TemplateRows> &source = m_sources.at(ref.source);
    return {{}, source->name(), ref.match, source, ref.row};
}

QString MatchedRows::cell(qsizetype i, int column) const
{
    const Ref &ref = m_refs.at(i);
    return m_sources.at(ref.source)->cell(ref.row, column);
}

QString MatchedRows::templateName(qsizetype i) const
{
    return m_sources.at(m_refs.at(i).source)->name();
}

MatchedRows::operator QList<MatchedRateRow>() const
{
    QList<MatchedRateRow> rows;
    rows.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        rows.append(at(i));
    return rows;
}

quint32 MatchedRows::addSource(std::shared_ptr<const TemplateRows> source)
{
    m_sources.append(std::move(source));
    return quint32(m_sources.size() - 1);
}

void MatchedRows::append(quint32 source, qsizetype row, MatchKind match)
{
    m_refs.append({source, quint32(row), match});
}

} // namespace Kuaidi
