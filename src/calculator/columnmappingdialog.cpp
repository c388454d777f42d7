#include "columnmappingdialog.h"

#include <templates/ratesheet.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

const QString ByHeading = u"按表头识别"_s;

} // namespace

ColumnMappingDialog::ColumnMappingDialog(const QStringList &headings, const QStringList &readAs,
                                         const QHash<QString, QString> &chosen, QWidget *parent)
    : QDialog(parent), m_headings(headings)
{
    setObjectName(u"对话框_指定列"_s);
    setWindowTitle(u"指定各列的内容"_s);
    auto *intro = new QLabel(u"表头认不出或认错的列，可以在这里指定它是哪一列；选“不使用”则不导入该列。"_s
                             u"所选会按快递公司名称记住，下次读取同一公司的表格时照用。"_s,
                             this);
    intro->setWordWrap(true);

    auto *body = new QWidget;
    auto *form = new QFormLayout(body);
    for (qsizetype c = 0; c < headings.size(); ++c) {
        const QString &title = headings.at(c);
        auto *choice = new QComboBox(body);
        choice->setObjectName(u"组合框_指定列%1"_s.arg(c + 1));
        const QString read = readAs.value(c);
        choice->addItem(read.isEmpty() ? ByHeading : u"%1（%2）"_s.arg(ByHeading, read), QString());
        for (const QString &target : rateSheetTargets())
            choice->addItem(target, target);
        if (const auto it = chosen.constFind(title); it != chosen.cend())
            choice->setCurrentIndex(qMax(0, choice->findData(*it)));
        if (title.trimmed().isEmpty())
            choice->setEnabled(false);
        const QString caption = title.trimmed().isEmpty() ? u"（第 %1 列，无表头）"_s.arg(c + 1) : title;
        auto *label = new QLabel(caption, body);
        label->setBuddy(choice);
        choice->setAccessibleName(caption);
        form->addRow(label, choice);
        m_choices << choice;
    }
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(body);
    scroll->setWidgetResizable(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);
    resize(460, 520);
}

QHash<QString, QString> ColumnMappingDialog::mapping() const
{
    QHash<QString, QString> result;
    for (qsizetype c = 0; c < m_choices.size(); ++c) {
        const QString target = m_choices.at(c)->currentData().toString();
        if (!target.isEmpty() && !m_headings.at(c).trimmed().isEmpty())
            result.insert(m_headings.at(c), target);
    }
    return result;
}

} // namespace Kuaidi
