#pragma once

// What the curve window asks the chart component to draw. The component,
// kuaidi-chart, is the one part of the program that needs Qt Charts; the
// window loads it when it first draws, so that the calculator does not
// load Qt Charts (and the OpenGL libraries it brings) at every start.

#include <QList>
#include <QPen>
#include <QPointF>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace Kuaidi {

/// One line of the chart.
struct ChartLine
{
    QString name;
    QList<QPointF> points;
    std::optional<QPen> pen;      ///< none: the chart's next colour, or the line before's
    bool samePenAsBefore = false; ///< a further stretch of the line before
    bool inLegend = true;
    bool upright = false; ///< from 0 to the top of the fee axis, at points.first().x()
    int hoverKey = -1;    ///< handed to ChartPlan::hovered; -1: no hovering
};

struct ChartPlan
{
    QString weightTitle;
    QString feeTitle;
    double weightEnd = 0;
    bool niceWeights = true; ///< rounds the weight axis to nice numbers
    double highestFee = 0;   ///< the fee axis reaches a little above it
    QList<ChartLine> lines;
    /// The pointer is on the line of @p hoverKey, at @p point.
    std::function<void(int hoverKey, QPointF point)> hovered;
};

/// The component's two functions, as it exports them.
using MakeChartView = QWidget *(*)(QWidget *parent);
using ShowChart = void (*)(QWidget *view, const ChartPlan &plan);
inline constexpr char MakeChartViewSymbol[] = "kuaidiMakeChartView";
inline constexpr char ShowChartSymbol[] = "kuaidiShowChart";

} // namespace Kuaidi
