#pragma once

#include <QString>

#include <optional>

namespace Kuaidi {

/// What one column heading of a courier's price sheet says, as sales staff
/// write them: a weight bracket ("0.51-1kg", "2公斤以内价格", "≤3kg"), a first
/// or additional weight with its weights ("首重1KG", "续重(元/0.5kg)"), a band
/// ("首重(8.01-30)", "3KG以上续重", "续重2(301-800kg)"), a minimum fee, or
/// one of the template's own columns.
struct SheetHeading
{
    enum class Kind {
        Other,          ///< none of these: a column the template does not use
        Column,         ///< a column of the template by its name or a synonym (see column)
        Bracket,        ///< the price up to a weight (high)
        First,          ///< the first-weight price
        Additional,     ///< the additional-weight price
        BandFirst,      ///< a first-weight price for a range of weights
        BandAdditional, ///< an additional-weight price for a range of weights
        Minimum,        ///< 最低收费
    };

    Kind kind = Kind::Other;
    /// Kind::Column: the template's column it names ("地区", "到达时间" …).
    QString column;
    /// A range of weights, kilograms: "3.01-5" is 3.01 to 5, "5000克以内" is
    /// 0 to 5, "30.01以上" starts at 30.01 with no upper end.
    double low = 0;
    std::optional<double> high;
    bool hasRange = false;
    /// "首重1KG", "首重(1000克)": the weight the first-weight price covers.
    std::optional<double> firstWeight;
    /// "续重(元/0.5kg)", "续重每500克": the weight an additional price is for.
    std::optional<double> unit;

    /// Where a band that this range opens starts: its lower end, where
    /// couriers write the first weight above a round one ("8.01-30" starts
    /// at 8, "30.01以上" at 30).
    double bandStart() const;
};

/// Reads one heading. Blanks and brackets may stand anywhere, weights may
/// be in kg, 公斤, KG, g or 克, ranges joined by -, –, ~ or 至.
SheetHeading readSheetHeading(QStringView title);

/// A weight range as a heading that readSheetHeading() reads back: "0-0.5kg",
/// or "30kg以上" without an upper end.
QString weightRangeText(double low, std::optional<double> high);

} // namespace Kuaidi
