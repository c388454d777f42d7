#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// How one courier turns a parcel into a fee: rounding up, the weight the
/// first-weight price covers, the divisor that makes a volume into a weight,
/// and, for couriers that price light parcels by weight bracket and heavier
/// ones by weight band, the limits of those. The defaults bill the weight as
/// weighed, with a first kilogram, first and additional weight only, up to
/// 50 kg.
struct BillingRules
{
    enum class Rounding { None, HalfKilogram, Kilogram };
    /// 全程: a band's additional price for the whole weight beyond the first;
    /// 超出部分: the lower bands' fee up to the band's start, and the band's
    /// additional price for the part above it.
    enum class BandPricing { Whole, Excess };

    BillingRules() = default;
    BillingRules(Rounding rounding, double firstWeight, double volumeDivisor)
        : rounding(rounding), firstWeight(firstWeight), volumeDivisor(volumeDivisor)
    {
    }

    Rounding rounding = Rounding::None;
    double firstWeight = 1;   ///< kilograms the first-weight price covers, above 0
    double volumeDivisor = 0; ///< cm³ per kilogram (6000, 8000 …); 0: the volume is not billed
    /// Upper limits of the weight brackets, kilograms, rising: a parcel up to
    /// brackets[i] (and above the one before) pays bracket i's price.
    QList<double> brackets;
    /// Where each weight band starts, kilograms, rising: band b prices the
    /// weights above bandStarts[b] up to the next start.
    QList<double> bandStarts;
    BandPricing bandPricing = BandPricing::Whole;
    double additionalUnit = 1; ///< kilograms an additional-weight price is for: 1 or 0.5
    double maximumWeight = 50; ///< heaviest parcel priced, kilograms

    /// Whether only the three rules of every template are set: no brackets,
    /// bands or units of their own.
    bool isPlain() const;

    friend bool operator==(const BillingRules &, const BillingRules &) = default;
};

/// "计费取整", "首重重量", "抛重系数", "重量段", "区间起点", "区间计价", "续重单位",
/// "最大重量": the names of the rules, in order.
const QStringList &billingRuleNames();

/// "不取整", "0.5", "1": the values of 计费取整, in the order of Rounding.
const QStringList &roundingTexts();

/// "全程", "超出部分": the values of 区间计价, in the order of BandPricing.
const QStringList &bandPricingTexts();

/// The rules as texts, in the order of billingRuleNames(): the rounding as one
/// of roundingTexts(), numbers by numberToText(), limits as numbers joined by
/// "," (empty when there are none).
QStringList billingRuleTexts(const BillingRules &rules);

/// Reads rules from texts as billingRuleTexts() writes them (blanks around
/// them aside), in the order of billingRuleNames(); texts missing at the end
/// (files made before those rules existed) leave their rules at the defaults.
/// Nothing when one is not allowed; @p error then names the rule and what it
/// takes.
std::optional<BillingRules> billingRulesFromTexts(const QStringList &texts, QString *error = nullptr);

/// What of @p rules no parcel can reach: bracket limits and band starts at
/// or above 最大重量, said for the seller to check ("区间起点 300、800KG 不低于
/// 最大重量 50KG…"); empty when every one can be reached.
QString unreachableWeightsNote(const BillingRules &rules);

/// Limits such as "0.5,1,2,3" ("，", "、" and blanks also separate them): rising
/// numbers above 0. Nothing when they are not; @p error says why, naming the
/// rule @p ruleName.
std::optional<QList<double>> weightLimitsFromText(QStringView text, const QString &ruleName, int most,
                                                  QString *error = nullptr);

} // namespace Kuaidi
