#include "maintenancepage.h"

#include "billingrulesform.h"
#include "weightpriceboxes.h"

#include <widgets/named.h>

#include <core/billingrules.h>
#include <ratedb/ratedatabase.h>

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace Kuaidi {

// How this courier bills: rounding up, the first weight, the volume divisor,
// and its weight brackets and bands.
QGroupBox *MaintenancePage::createRulesGroup()
{
    auto *group = new QGroupBox(u"计费规则"_s, this);
    group->setObjectName(u"分组框_计费规则"_s);
    m_rulesGroup = group;
    m_rulesForm = new BillingRulesForm(QString(), group);
    auto *save = named<QPushButton>(u"按钮_保存计费规则"_s, u"保存规则"_s, group);
    m_rulesStatus = named<QLabel>(u"标签_计费规则状态"_s, group);
    m_rulesStatus->setWordWrap(true);
    auto *line = new QHBoxLayout(group);
    line->addWidget(m_rulesForm, 4);
    line->addWidget(save);
    line->addWidget(m_rulesStatus, 1);
    connect(save, &QPushButton::clicked, this, &MaintenancePage::saveBillingRules);
    showBillingRules(BillingRules());
    group->setEnabled(false);
    return group;
}

void MaintenancePage::showBillingRules(const BillingRules &rules)
{
    m_rulesForm->setRules(rules);
    m_weightPrices->setRules(rules);
}

void MaintenancePage::saveBillingRules()
{
    if (!ensureTemplateChosen())
        return;
    const QString name = currentTemplate();
    QString problem;
    const std::optional<BillingRules> rules = m_rulesForm->rules(&problem);
    const auto showRulesStatus = [this](const QString &text, bool failed) {
        m_rulesStatus->setStyleSheet(failed ? u"color: #b03020;"_s : u"color: #2a6a2a;"_s);
        m_rulesStatus->setText(text);
    };
    if (!rules) {
        showRulesStatus(u"没有保存：%1"_s.arg(problem), true);
        return;
    }
    if (!m_database.setBillingRules(name, *rules)) {
        showRulesStatus(u"保存失败：%1"_s.arg(m_database.lastError()), true);
        return;
    }
    showBillingRules(*rules);
    // New brackets or bands come with columns of their own.
    reloadRows();
    showRulesStatus(u"已保存“%1”的计费规则"_s.arg(name), false);
}

} // namespace Kuaidi
