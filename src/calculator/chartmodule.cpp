// kuaidi-chart: draws a ChartPlan with Qt Charts. Loaded by the curve window
// when it first draws; it uses nothing of the program but chartplan.h.

#include "chartplan.h"

#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

using namespace Kuaidi;

extern "C" Q_DECL_EXPORT QWidget *kuaidiMakeChartView(QWidget *parent)
{
    auto *view = new QChartView(parent);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

extern "C" Q_DECL_EXPORT void kuaidiShowChart(QWidget *widget, const ChartPlan &plan)
{
    auto *view = qobject_cast<QChartView *>(widget);
    if (!view)
        return;
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *weightAxis = new QValueAxis;
    weightAxis->setTitleText(plan.weightTitle);
    weightAxis->setRange(0, plan.weightEnd);
    weightAxis->setLabelFormat(QStringLiteral("%g"));
    weightAxis->setTickCount(11);
    if (plan.niceWeights)
        weightAxis->applyNiceNumbers();
    auto *feeAxis = new QValueAxis;
    feeAxis->setTitleText(plan.feeTitle);
    feeAxis->setLabelFormat(QStringLiteral("%g"));
    feeAxis->setRange(0, plan.highestFee > 0 ? plan.highestFee * 1.05 : 10);
    feeAxis->applyNiceNumbers();
    chart->addAxis(weightAxis, Qt::AlignBottom);
    chart->addAxis(feeAxis, Qt::AlignLeft);

    QLineSeries *before = nullptr;
    for (const ChartLine &line : plan.lines) {
        auto *series = new QLineSeries;
        series->setName(line.name);
        if (line.upright && !line.points.isEmpty()) {
            series->append(line.points.first().x(), 0);
            series->append(line.points.first().x(), feeAxis->max());
        } else {
            series->append(line.points);
        }
        if (line.pen)
            series->setPen(*line.pen);
        else if (line.samePenAsBefore && before)
            series->setPen(before->pen());
        chart->addSeries(series);
        series->attachAxis(weightAxis);
        series->attachAxis(feeAxis);
        if (!line.inLegend) {
            for (QLegendMarker *marker : chart->legend()->markers(series))
                marker->setVisible(false);
        }
        if (line.hoverKey >= 0 && plan.hovered) {
            QObject::connect(series, &QLineSeries::hovered, view,
                             [hovered = plan.hovered, key = line.hoverKey](const QPointF &point, bool state) {
                                 if (state)
                                     hovered(key, point);
                             });
        }
        before = series;
    }
    QChart *old = view->chart();
    view->setChart(chart);
    delete old;
}
