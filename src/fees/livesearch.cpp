#include "livesearch.h"

#include <ratedb/ratedatabase.h>

namespace Kuaidi {

void LiveSearch::search(const QString &destination, SearchScope scope)
{
    m_destination = destination;
    m_scope = scope;
    // Read before the rows: a change that lands meanwhile is seen next time.
    const qint64 revision = m_database.revision();
    // The catalogue is read again only when something changed, or could not
    // be read.
    if (!m_searched || revision != m_revision || !m_error.isEmpty()) {
        m_templates = m_database.templateNames();
        m_namesError = m_database.lastError();
    }
    m_failed.clear();
    m_rows = DestinationSearch(m_database, m_templates, destination, &m_failed, scope);
    m_error = m_failed.isEmpty() ? m_namesError : m_database.lastError();
    m_revision = revision;
    m_searched = true;
}

bool LiveSearch::refresh()
{
    if (!m_searched || (m_database.revision() == m_revision && m_error.isEmpty() && m_failed.isEmpty()))
        return false;
    search(m_destination, m_scope);
    return true;
}

} // namespace Kuaidi
