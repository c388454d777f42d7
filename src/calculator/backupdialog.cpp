#include "backupdialog.h"

#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>
#include <widgets/reportlist.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int NameColumn = 3; // hidden: the backup's name, for restoring

} // namespace

BackupDialog::BackupDialog(RateDatabase &database, QWidget *parent) : QDialog(parent), m_database(database)
{
    setObjectName(u"backupDialog"_s);
    setWindowTitle(u"恢复备份"_s);
    resize(640, 380);
    const QString where =
        m_database.isOnServer()
            ? u"备份保存在数据库服务器 %1 上，每份备份包含当时被修改的模板"_s.arg(m_database.displayName())
            : u"备份在 %1"_s.arg(QDir::toNativeSeparators(m_database.backupFolder()));
    auto *intro = new QLabel(
        u"删除、替换、改名、删除行和全部修改之前，程序都会自动备份（保留最近 30 份），%1。"_s.arg(where),
        this);
    intro->setWordWrap(true);
    m_list = new ReportList(this);
    m_list->setObjectName(u"backupList"_s);
    m_list->setAccessibleName(u"备份"_s);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *restore = buttons->addButton(u"恢复所选备份"_s, QDialogButtonBox::ActionRole);
    restore->setObjectName(u"backupRestore"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore, &QPushButton::clicked, this, [this] { restoreRow(m_list->currentRow()); });
    listBackups();
}

void BackupDialog::listBackups()
{
    m_list->setColumns({u"时间"_s, u"操作"_s, u"模板"_s, u"名称"_s}, {150, 90, 360, 0});
    QList<QStringList> rows;
    for (const Backup &backup : m_database.backups()) {
        RateDatabase copy(backup.path);
        rows << QStringList{backup.time.toString(u"yyyy-MM-dd HH:mm:ss"), backup.operation,
                            copy.templateNames().join(u"、"), backup.name};
    }
    m_list->table()->setRows(rows);
    if (!rows.isEmpty())
        m_list->setCurrentRow(0);
}

bool BackupDialog::restoreRow(int row)
{
    if (row < 0 || row >= m_list->rowCount()) {
        Messages::show(this, u"请先选择一份备份"_s, u"提示"_s, Messages::Icon::Warning);
        return false;
    }
    const QString question = u"把数据库恢复到 %1（%2之前）的状态吗？\n\n现在的状态会先备份。"_s.arg(
        m_list->cell(row, 0), m_list->cell(row, 1));
    if (!Messages::confirm(this, question, u"恢复备份"_s))
        return false;
    if (!m_database.restoreBackup(m_list->cell(row, NameColumn))) {
        Messages::show(this, u"恢复失败\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return false;
    }
    Messages::show(this, u"恢复成功"_s);
    Q_EMIT restored();
    listBackups();
    return true;
}

} // namespace Kuaidi
