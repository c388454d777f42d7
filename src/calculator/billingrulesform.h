#pragma once

#include <core/billingrules.h>

#include <QWidget>

#include <optional>

class QComboBox;
class QLineEdit;

namespace Kuaidi {

/// The eight billing rules of a template as boxes a seller fills in: 计费取整,
/// 首重重量, 抛重系数 on the first line, the weight brackets, band starts,
/// 区间计价, 续重单位 and 最大重量 on the second. The boxes are named
/// "编辑框_" or "组合框_", then @p scope, then the rule ("组合框_计费取整").
class BillingRulesForm final : public QWidget
{
    Q_OBJECT

public:
    explicit BillingRulesForm(const QString &scope, QWidget *parent = nullptr);

    void setRules(const BillingRules &rules);
    /// The rules as typed; nothing when one is not allowed, with @p problem
    /// saying which and why.
    std::optional<BillingRules> rules(QString *problem) const;

private:
    QComboBox *m_rounding = nullptr;
    QLineEdit *m_firstWeight = nullptr;
    QComboBox *m_divisor = nullptr;
    QLineEdit *m_brackets = nullptr;
    QLineEdit *m_bandStarts = nullptr;
    QComboBox *m_bandPricing = nullptr;
    QComboBox *m_unit = nullptr;
    QLineEdit *m_maximum = nullptr;
};

} // namespace Kuaidi
