#pragma once

#include "feequery.h"

#include <QString>
#include <QStringList>

namespace Kuaidi {

class RateDatabase;

/// A destination search kept true to the database: the rows it found are
/// found again, in every template the database then holds, whenever the
/// database may have changed since (this program's write, another
/// program's, another station's), so that fees computed from them are
/// computed from the rows as they are now.
class LiveSearch
{
public:
    explicit LiveSearch(RateDatabase &database) : m_database(database) {}

    /// Searches @p destination in every template the database holds.
    void search(const QString &destination, SearchScope scope = SearchScope::WithFallback);
    /// Searches the same destination again when the database may have
    /// changed since, or a template could not be searched; whether it did.
    bool refresh();

    QString destination() const { return m_destination; }
    const MatchedRows &rows() const { return m_rows; }
    /// The templates searched, in the order the database lists them.
    const QStringList &templates() const { return m_templates; }
    /// Templates that could not be searched, and why (the first failure).
    const QStringList &failedTemplates() const { return m_failed; }
    QString lastError() const { return m_error; }

private:
    RateDatabase &m_database;
    QString m_destination;
    SearchScope m_scope = SearchScope::WithFallback;
    MatchedRows m_rows;
    QStringList m_templates;
    QStringList m_failed;
    QString m_error;
    QString m_namesError; // why the catalogue could not be read
    bool m_searched = false;
    qint64 m_revision = 0; // the database's, when the rows were found
};

} // namespace Kuaidi
