#pragma once

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;

namespace Kuaidi {

class RateDatabase;
struct ExactFeeCurve;

/// Every courier's fee over weight for one destination, drawn as it runs
/// (steps where it steps), the cheapest thicker, with the exact weights
/// where the cheapest changes.
class CurveWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit CurveWindow(RateDatabase &database, QWidget *parent = nullptr);
    ~CurveWindow() override;

    /// Draws the curves for @p destination at star level @p level.
    void showCurves(const QString &destination, const QString &level, std::optional<double> volume);
    /// The crossovers in words, one a line: "0 kg 起 圆通快递 最便宜",
    /// "超过 10.5 kg 中通快递 最便宜".
    QString crossoverText() const;
    /// The chart (a QChartView of the chart component), or the note that
    /// says the component is missing.
    QWidget *chartView() const { return m_view; }

private:
    void draw(const ExactFeeCurve &curve);
    void exportPicture();

    RateDatabase &m_database;
    QWidget *m_view = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_crossovers = nullptr;
    std::shared_ptr<const ExactFeeCurve> m_curve; ///< as drawn, for the fee under the pointer
};

} // namespace Kuaidi
