#include "browserdialog.h"

#include <widgets/messages.h>

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

BrowserDialog::BrowserDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"browserDialog"_s);
    setWindowTitle(u"模板编辑器的浏览器"_s);
    setMinimumWidth(560);
    const BrowserChoice saved = savedBrowserChoice();
    const QList<PageBackend> built = builtPageBackends();

    auto *layout = new QVBoxLayout(this);
    // Only a build with both has a choice to make.
    if (built.contains(PageBackend::Embedded) && built.contains(PageBackend::OwnBrowser)) {
        m_embedded = new QRadioButton(u"编辑器内置的浏览器(&E)"_s, this);
        m_embedded->setObjectName(u"browserEmbedded"_s);
        m_own = new QRadioButton(u"我自己的浏览器：Edge、Chrome 或 Chromium(&O)"_s, this);
        m_own->setObjectName(u"browserOwn"_s);
        auto *group = new QButtonGroup(this);
        group->addButton(m_embedded);
        group->addButton(m_own);
        (saved.backend == PageBackend::OwnBrowser ? m_own : m_embedded)->setChecked(true);
        layout->addWidget(new QLabel(u"运费模板页面在哪里打开："_s, this));
        layout->addWidget(m_embedded);
        layout->addWidget(m_own);
    }

    auto *label = new QLabel(u"浏览器程序(&P)："_s, this);
    m_program = new QLineEdit(QDir::toNativeSeparators(saved.program), this);
    m_program->setObjectName(u"browserProgram"_s);
    m_program->setPlaceholderText(u"空着：自动查找 Edge、Chrome 或 Chromium"_s);
    m_program->setClearButtonEnabled(true);
    label->setBuddy(m_program);
    auto *browse = new QPushButton(u"选择程序…"_s, this);
    browse->setObjectName(u"browserBrowse"_s);
    m_found = new QLabel(this);
    m_found->setObjectName(u"browserFound"_s);
    m_found->setWordWrap(true);
    m_found->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *note = new QLabel(u"编辑器用自己的浏览器资料夹打开这个浏览器：在里面登录一次淘宝，以后仍保持登录，"
                            "与平时上网用的浏览器互不影响。更改在下次打开模板编辑器时生效。"_s,
                            this);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(u"browserSave"_s);

    auto *row = new QHBoxLayout;
    row->addWidget(m_program, 1);
    row->addWidget(browse);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(m_found);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &BrowserDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_program, &QLineEdit::textChanged, this, &BrowserDialog::showFound);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = Messages::chooseFile(this, u"选择浏览器程序"_s, u"所有文件 (*)"_s);
        if (!path.isEmpty())
            m_program->setText(QDir::toNativeSeparators(path));
    });
    showFound();
}

BrowserChoice BrowserDialog::choice() const
{
    BrowserChoice choice = savedBrowserChoice();
    if (m_own)
        choice.backend = m_own->isChecked() ? PageBackend::OwnBrowser : PageBackend::Embedded;
    choice.program = QDir::fromNativeSeparators(m_program->text().trimmed());
    return choice;
}

void BrowserDialog::showFound()
{
    const BrowserSearch search = browserFor(choice());
    if (search.found) {
        m_found->setText(
            u"将使用：%1（%2）"_s.arg(search.found->name, QDir::toNativeSeparators(search.found->program)));
    } else if (!choice().program.isEmpty()) {
        m_found->setText(u"这个浏览器程序不存在或不能运行"_s);
    } else {
        m_found->setText(u"没有找到 Edge、Chrome 或 Chromium：请安装一个，或选择浏览器程序"_s);
    }
}

void BrowserDialog::accept()
{
    const BrowserChoice chosen = choice();
    if (!chosen.program.isEmpty() && !browserFor(chosen).found) {
        Messages::show(this,
                       u"浏览器程序不存在或不能运行：%1"_s.arg(QDir::toNativeSeparators(chosen.program)),
                       u"提示"_s, Messages::Icon::Warning);
        return;
    }
    saveBrowserChoice(chosen);
    QDialog::accept();
}

} // namespace Kuaidi
