#pragma once

#include <QDialog>

namespace Kuaidi {

class RateDatabase;
class ReportList;

/// The backups taken before destructive operations, newest first, and the
/// restore of one of them.
class BackupDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit BackupDialog(RateDatabase &database, QWidget *parent = nullptr);

    /// Restores the backup of row @p row after confirmation; true when done.
    bool restoreRow(int row);

Q_SIGNALS:
    void restored();

private:
    void listBackups();

    RateDatabase &m_database;
    ReportList *m_list = nullptr;
};

} // namespace Kuaidi
