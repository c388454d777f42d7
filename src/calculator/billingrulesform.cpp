#include "billingrulesform.h"

#include <core/schema.h>
#include <widgets/named.h>
#include <widgets/wheelguard.h>

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace Kuaidi {

BillingRulesForm::BillingRulesForm(const QString &scope, QWidget *parent) : QWidget(parent)
{
    const QStringList &names = billingRuleNames();
    const auto box = [&scope, &names](int rule) -> QString { return u"编辑框_"_s + scope + names.at(rule); };
    const auto choice = [&scope, &names](int rule) -> QString {
        return u"组合框_"_s + scope + names.at(rule);
    };
    m_rounding = named<QComboBox>(choice(0), this);
    m_rounding->addItems(roundingTexts());
    m_rounding->setToolTip(u"计费重量向上取整：不取整、按 0.5KG 或按 1KG 进位"_s);
    m_firstWeight = named<QLineEdit>(box(1), this);
    m_firstWeight->setToolTip(u"首重价格包含的重量，单位 KG"_s);
    m_divisor = named<QComboBox>(choice(2), this);
    m_divisor->setEditable(true);
    m_divisor->addItems({u"0"_s, u"6000"_s, u"8000"_s, u"12000"_s});
    m_divisor->setToolTip(u"体积（立方厘米）除以抛重系数得体积重；0 表示不按体积计费"_s);
    m_brackets = named<QLineEdit>(box(3), this);
    m_brackets->setPlaceholderText(u"如 0.5,1,2,3"_s);
    m_brackets->setToolTip(
        u"按重量段一口价：每段的上限（KG），从小到大用逗号隔开；不超过最后一段的包裹按所在段的价格计费"_s);
    m_bandStarts = named<QLineEdit>(box(4), this);
    m_bandStarts->setPlaceholderText(u"如 3,30"_s);
    m_bandStarts->setToolTip(u"价格区间的起点（KG）：超过某个起点的重量按该区间自己的首重、续重计费"_s);
    m_bandPricing = named<QComboBox>(choice(5), this);
    m_bandPricing->addItems(bandPricingTexts());
    m_bandPricing->setToolTip(
        u"全程：整个续重都按所在区间的续重价；超出部分：只有超过区间起点的部分按该区间的续重价"_s);
    m_unit = named<QComboBox>(choice(6), this);
    m_unit->addItems({u"1"_s, u"0.5"_s});
    m_unit->setToolTip(u"续重价格是每多少 KG 的价格"_s);
    m_maximum = named<QLineEdit>(box(7), this);
    m_maximum->setToolTip(u"超过这个重量（KG）的包裹不报价"_s);
    m_firstWeight->setMaximumWidth(60);
    m_brackets->setMinimumWidth(110);
    m_bandStarts->setMinimumWidth(80);
    m_maximum->setMaximumWidth(70);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    const QList<std::pair<QString, QWidget *>> fields{
        {u"计费取整"_s, m_rounding},    {u"首重重量(KG)"_s, m_firstWeight}, {u"抛重系数"_s, m_divisor},
        {u"续重单位(KG)"_s, m_unit},    {u"重量段(KG)"_s, m_brackets},      {u"区间起点(KG)"_s, m_bandStarts},
        {u"区间计价"_s, m_bandPricing}, {u"最大重量(KG)"_s, m_maximum},
    };
    for (int i = 0; i < fields.size(); ++i) {
        auto *label = new QLabel(fields.at(i).first, this);
        label->setBuddy(fields.at(i).second);
        // A combo box would be named by its value otherwise.
        fields.at(i).second->setAccessibleName(normalisedColumnTitle(fields.at(i).first));
        grid->addWidget(label, i / 4, (i % 4) * 2);
        grid->addWidget(fields.at(i).second, i / 4, (i % 4) * 2 + 1);
    }
    for (QComboBox *combo : {m_rounding, m_divisor, m_bandPricing, m_unit})
        takeWheelOnlyWhenFocused(combo);
    for (const int column : {3, 5})
        grid->setColumnStretch(column, 1);
    setRules(BillingRules());
}

void BillingRulesForm::setRules(const BillingRules &rules)
{
    const QStringList texts = billingRuleTexts(rules);
    m_rounding->setCurrentIndex(int(roundingTexts().indexOf(texts.at(0))));
    m_firstWeight->setText(texts.at(1));
    m_divisor->setEditText(texts.at(2));
    m_brackets->setText(texts.at(3));
    m_bandStarts->setText(texts.at(4));
    m_bandPricing->setCurrentIndex(int(bandPricingTexts().indexOf(texts.at(5))));
    m_unit->setCurrentText(texts.at(6));
    m_maximum->setText(texts.at(7));
}

std::optional<BillingRules> BillingRulesForm::rules(QString *problem) const
{
    return billingRulesFromTexts({m_rounding->currentText(), m_firstWeight->text(), m_divisor->currentText(),
                                  m_brackets->text(), m_bandStarts->text(), m_bandPricing->currentText(),
                                  m_unit->currentText(), m_maximum->text()},
                                 problem);
}

} // namespace Kuaidi
