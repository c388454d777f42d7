#pragma once

#include <core/texttable.h>

#include <QList>
#include <QString>

namespace Kuaidi {

class RateDatabase;
class Workbook;

/// One table (or sheet) of a workbook being moved into the rate database as
/// a template of the same name.
struct MigrationTable
{
    QString name;
    /// In the rate-template layout: its fields include 地区, 首重价格 and
    /// 续重价格. Other tables are no templates and are passed over.
    bool layout = false;
    /// Why the table cannot become a template; empty when it can.
    QString problem;
    /// The template's columns and rows, when it can.
    TextTable grid;
};

/// Reads every sheet of @p workbook, in workbook order, and makes each one in
/// the rate-template layout into a template's rows, as `create` would.
QList<MigrationTable> planMigration(Workbook &workbook);

/// What became of one table.
struct MigrationOutcome
{
    QString name;
    bool taken = false;
    qsizetype rows = 0;
    QString reason; // why it was not taken
};

/// Stores the templates @p tables make, in their order. A name the database
/// has already is passed over with its reason unless @p replace, when its
/// rows are replaced (after a backup). Stops at the first failure of the
/// database itself, leaving its message in @p databaseError; the outcomes
/// so far are returned.
QList<MigrationOutcome> applyMigration(const QList<MigrationTable> &tables, RateDatabase &db, bool replace,
                                       QString *databaseError);

/// The layout tables whose names @p existing has already.
QStringList takenNames(const QList<MigrationTable> &tables, const QStringList &existing);

} // namespace Kuaidi
