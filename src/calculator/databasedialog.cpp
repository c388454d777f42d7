#include "databasedialog.h"

#include <ratedb/engine.h>
#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

DatabaseDialog::DatabaseDialog(const QString &current, QWidget *parent) : QDialog(parent)
{
    setObjectName(u"databaseDialog"_s);
    setWindowTitle(u"数据库"_s);
    setMinimumWidth(560);
    auto *label = new QLabel(u"数据库文件或服务器地址(&D)："_s, this);
    m_location = new QLineEdit(current, this);
    m_location->setObjectName(u"databaseLocation"_s);
    m_location->setPlaceholderText(u"postgresql://用户名@主机:端口/数据库名"_s);
    label->setBuddy(m_location);
    auto *browse = new QPushButton(u"选择文件…"_s, this);
    browse->setObjectName(u"databaseBrowse"_s);
    const QString serverNote =
        serverDriverAvailable()
            ? u"几台电脑共用一份运费模板时，请填写数据库服务器（PostgreSQL）的地址，\n"
              u"如 postgresql://kuaidi@192.168.1.10:5432/kuaidi ，末尾可加 ?schema=名称。\n"
              u"程序不保存密码：请把密码写在 %1 文件中，或设置环境变量 PGPASSWORD。"_s.arg(passwordFileName())
            : u"这一版程序没有包含 PostgreSQL 数据库驱动，只能使用数据库文件，不能连接数据库服务器。"_s;
    auto *note = new QLabel(serverNote, this);
    note->setObjectName(u"databaseNote"_s);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"连接并使用"_s);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(u"databaseUse"_s);

    auto *row = new QHBoxLayout;
    row->addWidget(m_location, 1);
    row->addWidget(browse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &DatabaseDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path =
            Messages::chooseFile(this, u"选择数据库文件"_s, u"数据库文件 (*.db);;所有文件 (*)"_s);
        if (!path.isEmpty())
            m_location->setText(QDir::toNativeSeparators(path));
    });
}

QString DatabaseDialog::location() const
{
    const QString text = m_location->text().trimmed();
    return isServerLocation(text) ? text : QDir::fromNativeSeparators(text);
}

void DatabaseDialog::accept()
{
    if (location().isEmpty()) {
        Messages::show(this, u"请填写数据库文件或服务器地址"_s, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (const QString problem = RateDatabase::probe(location()); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Critical);
        return;
    }
    QDialog::accept();
}

} // namespace Kuaidi
