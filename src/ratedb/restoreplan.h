#pragma once

#include <ratedb/engine.h>

#include <QList>
#include <QString>
#include <QStringList>

namespace Kuaidi {

/// How much of a backup a restore puts back.
enum class RestoreScope {
    Templates,     ///< only the templates the backup was taken for
    WholeDatabase, ///< everything (a file as it was; on a server every template the backup holds)
};

/// What restoring a backup changes in one template.
struct RestoreChange
{
    enum class Kind {
        Added,     ///< absent now, it comes back
        Replaced,  ///< its rows (or rules) now give way to the backup's
        Removed,   ///< made after the backup: a whole-file restore removes it
        Unchanged, ///< as the backup has it
    };
    QString templateName;
    Kind kind = Kind::Unchanged;
    qsizetype rowsNow = 0;
    qsizetype rowsThen = 0; ///< in the backup
    bool rowsDiffer = false;
    bool rulesDiffer = false;

    /// One line for the seller: "“圆通”：现在的 5 行换成备份中的 3 行".
    QString describe() const;
};

/// What restoring a backup would do, before it is done.
struct RestorePlan
{
    Backup backup;
    RestoreScope scope = RestoreScope::Templates;
    QList<RestoreChange> changes;
    /// The database as it is now could not be read (a damaged file): the
    /// whole of it gives way to the backup.
    bool currentUnreadable = false;

    bool changesNothing() const;
    /// The templates whose state the restore writes.
    QStringList templatesToWrite() const;
    /// A line a template, the changed ones first.
    QStringList describe() const;
};

} // namespace Kuaidi
