#include "billingrules.h"

#include "numbertext.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

const QStringList &billingRuleNames()
{
    static const QStringList names{u"计费取整"_s, u"首重重量"_s, u"抛重系数"_s};
    return names;
}

const QStringList &roundingTexts()
{
    static const QStringList texts{u"不取整"_s, u"0.5"_s, u"1"_s};
    return texts;
}

QStringList billingRuleTexts(const BillingRules &rules)
{
    return {roundingTexts().at(int(rules.rounding)), numberToText(rules.firstWeight),
            numberToText(rules.volumeDivisor)};
}

std::optional<BillingRules> billingRulesFromTexts(QStringView rounding, QStringView firstWeight,
                                                  QStringView volumeDivisor, QString *error)
{
    const auto refuse = [error](const QString &message) {
        if (error)
            *error = message;
        return std::nullopt;
    };
    BillingRules rules;
    qsizetype roundingIndex = roundingTexts().indexOf(rounding.trimmed().toString());
    if (const std::optional<double> step = parseNumber(rounding); roundingIndex < 0 && step)
        roundingIndex = *step == 0.5 ? 1 : *step == 1 ? 2 : -1; // "0.50", "１"
    if (roundingIndex < 0)
        return refuse(u"计费取整只能是 %1，“%2”不行"_s.arg(roundingTexts().join(u"、"), rounding));
    rules.rounding = BillingRules::Rounding(roundingIndex);
    // Kilograms and divisors a courier could really use: nothing near the
    // limits of a double.
    constexpr double Largest = 1e9;
    const std::optional<double> first = parseNumber(firstWeight);
    if (!first || !(*first > 0) || *first > Largest)
        return refuse(u"首重重量要填大于 0 的数字（单位 KG），“%1”不行"_s.arg(firstWeight));
    rules.firstWeight = *first;
    const std::optional<double> divisor = parseNumber(volumeDivisor);
    if (!divisor || *divisor < 0 || *divisor > Largest)
        return refuse(u"抛重系数要填 0（不按体积计费）或正数，如 6000、8000，“%1”不行"_s.arg(volumeDivisor));
    rules.volumeDivisor = *divisor;
    return rules;
}

} // namespace Kuaidi
