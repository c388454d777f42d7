#include "billingrules.h"

#include "numbertext.h"
#include "schema.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Kilograms and divisors a courier could really use: nothing near the limits
// of a double.
constexpr double Largest = 1e9;

std::nullopt_t refuse(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

QString limitsText(const QList<double> &limits)
{
    QStringList texts;
    texts.reserve(limits.size());
    for (const double limit : limits)
        texts << numberToText(limit);
    return texts.join(u',');
}

} // namespace

bool BillingRules::isPlain() const
{
    const BillingRules defaults;
    return brackets.isEmpty() && bandStarts.isEmpty() && bandPricing == defaults.bandPricing &&
           additionalUnit == defaults.additionalUnit && maximumWeight == defaults.maximumWeight;
}

const QStringList &billingRuleNames()
{
    static const QStringList names{u"计费取整"_s, u"首重重量"_s, u"抛重系数"_s, u"重量段"_s,
                                   u"区间起点"_s, u"区间计价"_s, u"续重单位"_s, u"最大重量"_s};
    return names;
}

const QStringList &roundingTexts()
{
    static const QStringList texts{u"不取整"_s, u"0.5"_s, u"1"_s};
    return texts;
}

const QStringList &bandPricingTexts()
{
    static const QStringList texts{u"全程"_s, u"超出部分"_s};
    return texts;
}

QStringList billingRuleTexts(const BillingRules &rules)
{
    return {roundingTexts().at(int(rules.rounding)),
            numberToText(rules.firstWeight),
            numberToText(rules.volumeDivisor),
            limitsText(rules.brackets),
            limitsText(rules.bandStarts),
            bandPricingTexts().at(int(rules.bandPricing)),
            numberToText(rules.additionalUnit),
            numberToText(rules.maximumWeight)};
}

std::optional<QList<double>> weightLimitsFromText(QStringView text, const QString &ruleName, int most,
                                                  QString *error)
{
    static const QRegularExpression separators(u"[,，、;；\\s]+"_s);
    const QStringList parts = text.toString().split(separators, Qt::SkipEmptyParts);
    if (parts.size() > most)
        return refuse(error,
                      u"%1最多 %2 个，“%3”有 %4 个"_s.arg(ruleName).arg(most).arg(text).arg(parts.size()));
    QList<double> limits;
    for (const QString &part : parts) {
        const std::optional<double> limit = parseNumber(part);
        if (!limit || !(*limit > 0) || *limit > Largest)
            return refuse(error, u"%1要填大于 0 的重量（KG），用逗号隔开，如 0.5,1,2,3；“%2”不行"_s.arg(
                                     ruleName, part));
        if (!limits.isEmpty() && !(*limit > limits.last()))
            return refuse(error, u"%1要从小到大填写，%2 不大于它前面的 %3"_s.arg(
                                     ruleName, part, numberToText(limits.last())));
        limits << *limit;
    }
    return limits;
}

std::optional<BillingRules> billingRulesFromTexts(const QStringList &texts, QString *error)
{
    BillingRules rules;
    const QStringList &names = billingRuleNames();
    const QStringList defaults = billingRuleTexts(rules);
    const auto text = [&](int i) -> QString {
        return i < texts.size() ? texts.at(i).trimmed() : defaults.at(i);
    };

    const QString rounding = text(0);
    qsizetype roundingIndex = roundingTexts().indexOf(rounding);
    if (const std::optional<double> step = parseNumber(rounding); roundingIndex < 0 && step)
        roundingIndex = *step == 0.5 ? 1 : *step == 1 ? 2 : -1; // "0.50", "１"
    if (roundingIndex < 0)
        return refuse(error, u"计费取整只能是 %1，“%2”不行"_s.arg(roundingTexts().join(u"、"), rounding));
    rules.rounding = BillingRules::Rounding(roundingIndex);

    const std::optional<double> first = parseNumber(text(1));
    if (!first || !(*first > 0) || *first > Largest)
        return refuse(error, u"首重重量要填大于 0 的数字（单位 KG），“%1”不行"_s.arg(text(1)));
    rules.firstWeight = *first;

    const std::optional<double> divisor = parseNumber(text(2));
    if (!divisor || *divisor < 0 || *divisor > Largest)
        return refuse(error, u"抛重系数要填 0（不按体积计费）或正数，如 6000、8000，“%1”不行"_s.arg(text(2)));
    rules.volumeDivisor = *divisor;

    const std::optional<QList<double>> brackets =
        weightLimitsFromText(text(3), names.at(3), MaxBrackets, error);
    if (!brackets)
        return std::nullopt;
    rules.brackets = *brackets;
    const std::optional<QList<double>> bands = weightLimitsFromText(text(4), names.at(4), MaxBands, error);
    if (!bands)
        return std::nullopt;
    rules.bandStarts = *bands;

    const qsizetype pricing = bandPricingTexts().indexOf(text(5));
    if (pricing < 0)
        return refuse(error, u"区间计价只能是 %1，“%2”不行"_s.arg(bandPricingTexts().join(u"、"), text(5)));
    rules.bandPricing = BillingRules::BandPricing(pricing);

    const std::optional<double> unit = parseNumber(text(6));
    if (!unit || (*unit != 1 && *unit != 0.5))
        return refuse(error, u"续重单位只能是 1 或 0.5（KG），“%1”不行"_s.arg(text(6)));
    rules.additionalUnit = *unit;

    const std::optional<double> maximum = parseNumber(text(7));
    if (!maximum || !(*maximum > 0) || *maximum > Largest)
        return refuse(error, u"最大重量要填大于 0 的数字（单位 KG），“%1”不行"_s.arg(text(7)));
    rules.maximumWeight = *maximum;
    return rules;
}

QString unreachableWeightsNote(const BillingRules &rules)
{
    QStringList parts;
    const auto beyond = [&rules](const QList<double> &limits) {
        QStringList texts;
        for (const double limit : limits) {
            if (limit >= rules.maximumWeight)
                texts << numberToText(limit);
        }
        return texts.join(u"、");
    };
    if (const QString brackets = beyond(rules.brackets); !brackets.isEmpty())
        parts << u"重量段 "_s + brackets + u"KG"_s;
    if (const QString bands = beyond(rules.bandStarts); !bands.isEmpty())
        parts << u"区间起点 "_s + bands + u"KG"_s;
    if (parts.isEmpty())
        return {};
    return u"%1 不低于最大重量 %2KG，用不上：更重的包裹不报价，需要时请调高最大重量"_s.arg(
        parts.join(u"、"), numberToText(rules.maximumWeight));
}

} // namespace Kuaidi
