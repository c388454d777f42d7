#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// How one courier turns a parcel into the weight it bills: rounding up, the
/// weight the first-weight price covers, and the divisor that makes a volume
/// into a weight. The defaults bill the weight as weighed, with a first
/// kilogram.
struct BillingRules
{
    enum class Rounding { None, HalfKilogram, Kilogram };

    Rounding rounding = Rounding::None;
    double firstWeight = 1;   ///< kilograms the first-weight price covers, above 0
    double volumeDivisor = 0; ///< cm³ per kilogram (6000, 8000 …); 0: the volume is not billed

    friend bool operator==(const BillingRules &, const BillingRules &) = default;
};

/// "计费取整", "首重重量", "抛重系数": the names of the three rules, in order.
const QStringList &billingRuleNames();

/// "不取整", "0.5", "1": the values of 计费取整, in the order of Rounding.
const QStringList &roundingTexts();

/// The three rules as texts, in the order of billingRuleNames(): the rounding
/// as one of roundingTexts(), the numbers by numberToText().
QStringList billingRuleTexts(const BillingRules &rules);

/// Reads the three rules from texts as billingRuleTexts() writes them (blanks
/// around them aside). Nothing when one is not allowed; @p error then names
/// the rule and what it takes.
std::optional<BillingRules> billingRulesFromTexts(QStringView rounding, QStringView firstWeight,
                                                  QStringView volumeDivisor, QString *error = nullptr);

} // namespace Kuaidi
