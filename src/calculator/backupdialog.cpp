#include "backupdialog.h"

#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>
#include <widgets/reportlist.h>

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Hidden: the backup's name, for restoring, and whether it names templates.
constexpr int NameColumn = 3;
constexpr int NamesTemplatesColumn = 4;

} // namespace

BackupDialog::BackupDialog(RateDatabase &database, QWidget *parent) : QDialog(parent), m_database(database)
{
    setObjectName(u"backupDialog"_s);
    setWindowTitle(u"恢复备份"_s);
    resize(640, 400);
    const bool onServer = m_database.isOnServer();
    const QString where =
        onServer
            ? u"备份保存在数据库服务器 %1 上，每份备份包含当时被修改的模板"_s.arg(m_database.displayName())
            : u"备份在 %1"_s.arg(QDir::toNativeSeparators(m_database.backupFolder()));
    auto *intro = new QLabel(
        u"删除、替换、改名、删除行和全部修改之前，程序都会自动备份（保留最近 30 份），%1。"_s.arg(where),
        this);
    intro->setWordWrap(true);
    m_list = new ReportList(this);
    m_list->setObjectName(u"backupList"_s);
    m_list->setAccessibleName(u"备份"_s);

    m_onlyTemplates = new QRadioButton(u"只恢复该模板"_s, this);
    m_onlyTemplates->setObjectName(u"backupOnlyTemplates"_s);
    m_onlyTemplates->setToolTip(u"只把备份所针对的模板恢复到备份时的样子，其他模板不变"_s);
    m_whole = new QRadioButton(onServer ? u"恢复备份中的全部模板"_s : u"恢复整个数据库"_s, this);
    m_whole->setObjectName(u"backupWhole"_s);
    m_whole->setToolTip(onServer ? u"把这份备份中的每个模板都恢复到备份时的样子"_s
                                 : u"整个数据库回到备份时的样子：之后新建的模板会被删除，其他改动也会撤销"_s);
    auto *scopes = new QButtonGroup(this);
    scopes->addButton(m_onlyTemplates);
    scopes->addButton(m_whole);
    m_onlyTemplates->setChecked(true);
    connect(m_whole, &QRadioButton::clicked, this, [this] { m_wholeChosen = true; });
    connect(m_onlyTemplates, &QRadioButton::clicked, this, [this] { m_wholeChosen = false; });
    auto *scopeLine = new QHBoxLayout;
    auto *scopeLabel = new QLabel(u"恢复范围："_s, this);
    scopeLabel->setBuddy(m_onlyTemplates);
    scopeLine->addWidget(scopeLabel);
    scopeLine->addWidget(m_onlyTemplates);
    scopeLine->addWidget(m_whole);
    scopeLine->addStretch(1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *restore = buttons->addButton(u"恢复所选备份"_s, QDialogButtonBox::ActionRole);
    restore->setObjectName(u"backupRestore"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addLayout(scopeLine);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore, &QPushButton::clicked, this, [this] { restoreRow(m_list->currentRow()); });
    listBackups();
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { offerScopesOf(current.row()); });
    offerScopesOf(m_list->currentRow());
}

void BackupDialog::listBackups()
{
    m_list->setColumns({u"时间"_s, u"操作"_s, u"针对的模板"_s, u"名称"_s, u"有模板"_s}, {150, 90, 360, 0, 0});
    QList<QStringList> rows;
    for (const Backup &backup : m_database.backups()) {
        const bool named = !backup.templates.isEmpty();
        rows << QStringList{backup.time.toString(u"yyyy-MM-dd HH:mm:ss"), backup.operation,
                            named ? backup.templates.join(u"、") : u"整个数据库"_s, backup.name,
                            named ? u"1"_s : QString()};
    }
    m_list->table()->setRows(rows);
    if (!rows.isEmpty())
        m_list->setCurrentRow(0);
    offerScopesOf(m_list->currentRow());
}

void BackupDialog::offerScopesOf(int row)
{
    const bool named =
        row >= 0 && row < m_list->rowCount() && !m_list->cell(row, NamesTemplatesColumn).isEmpty();
    m_onlyTemplates->setEnabled(named);
    if (!named)
        m_whole->setChecked(true);
    else if (!m_wholeChosen)
        m_onlyTemplates->setChecked(true);
}

bool BackupDialog::restoreRow(int row)
{
    if (row < 0 || row >= m_list->rowCount()) {
        Messages::show(this, u"请先选择一份备份"_s, u"提示"_s, Messages::Icon::Warning);
        return false;
    }
    const QString name = m_list->cell(row, NameColumn);
    const RestoreScope scope = m_onlyTemplates->isChecked() && m_onlyTemplates->isEnabled()
                                   ? RestoreScope::Templates
                                   : RestoreScope::WholeDatabase;
    const std::optional<RestorePlan> plan = m_database.planRestore(name, scope);
    if (!plan) {
        Messages::show(this, u"不能恢复\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return false;
    }
    if (plan->changesNothing()) {
        Messages::show(this, u"与备份相比没有任何不同，不需要恢复"_s, u"提示"_s, Messages::Icon::Information);
        return false;
    }
    const QString what =
        scope == RestoreScope::Templates ? u"只恢复“%1”"_s.arg(m_list->cell(row, 2)) : m_whole->text();
    const QString question =
        u"恢复 %1（%2之前）的备份，%3，将会：\n\n%4\n\n现在的状态会先备份。确定恢复吗？"_s.arg(
            m_list->cell(row, 0), m_list->cell(row, 1), what, plan->describe().join(u'\n'));
    if (!Messages::confirm(this, question, u"恢复备份"_s))
        return false;
    if (!m_database.restoreBackup(name, scope)) {
        Messages::show(this, u"恢复失败\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return false;
    }
    Messages::show(this, u"恢复成功"_s);
    Q_EMIT restored();
    listBackups();
    return true;
}

} // namespace Kuaidi
