#pragma once

#include <QDialog>

class QRadioButton;

namespace Kuaidi {

class RateDatabase;
class ReportList;

/// The backups taken before destructive operations, the last made first,
/// each with the operation and the templates it was taken for, and the
/// restore of one of them: only those templates (the default) or the whole
/// database, after saying what will change.
class BackupDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit BackupDialog(RateDatabase &database, QWidget *parent = nullptr);

    /// Restores the backup of row @p row, as far as the choice of scope
    /// says, after confirmation; true when done.
    bool restoreRow(int row);

Q_SIGNALS:
    void restored();

private:
    void listBackups();
    /// A backup taken for no template in particular offers the whole
    /// database alone.
    void offerScopesOf(int row);

    RateDatabase &m_database;
    ReportList *m_list = nullptr;
    QRadioButton *m_onlyTemplates = nullptr;
    QRadioButton *m_whole = nullptr;
    // The seller chose the whole database; a backup that offers nothing else
    // does not make that choice for the next one.
    bool m_wholeChosen = false;
};

} // namespace Kuaidi
