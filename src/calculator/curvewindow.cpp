#include "curvewindow.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequote.h>
#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

CurveWindow::CurveWindow(RateDatabase &database, QWidget *parent)
    : QWidget(parent, Qt::Window), m_database(database)
{
    setObjectName(u"curveWindow"_s);
    setWindowTitle(u"运费曲线"_s);
    resize(900, 520);
    m_title = new QLabel(this);
    m_title->setObjectName(u"curveTitle"_s);
    m_view = new QChartView(this);
    m_view->setObjectName(u"curveChart"_s);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setAccessibleName(u"运费曲线图"_s);
    m_crossovers = new QLabel(this);
    m_crossovers->setObjectName(u"curveCrossovers"_s);
    m_crossovers->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_crossovers->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_crossovers->setMinimumWidth(190);
    auto *exportButton = new QPushButton(u"导出图片"_s, this);
    exportButton->setObjectName(u"curveExport"_s);

    auto *side = new QVBoxLayout;
    side->addWidget(new QLabel(u"最便宜的快递"_s, this));
    side->addWidget(m_crossovers, 1);
    side->addWidget(exportButton);
    auto *body = new QHBoxLayout;
    body->addWidget(m_view, 1);
    body->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(body, 1);
    connect(exportButton, &QPushButton::clicked, this, &CurveWindow::exportPicture);
}

CurveWindow::~CurveWindow() = default;

void CurveWindow::showCurves(const QString &destination, const QString &level, std::optional<double> volume)
{
    const QStringList names = m_database.templateNames();
    const QList<std::shared_ptr<const TemplateRows>> rows = m_database.templateRows(names);
    const QHash<QString, BillingRules> rules =
        m_database.billingRulesOfAll().value_or(QHash<QString, BillingRules>());
    m_title->setText(
        u"目的地：%1　收费级别：%2"_s.arg(destination.isEmpty() ? u"（未填）"_s : destination, level));
    draw(ComputeFeeCurve(rows, rules, destination, levelIndex(level), volume));
}

void CurveWindow::draw(const FeeCurve &curve)
{
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *weightAxis = new QValueAxis;
    weightAxis->setTitleText(u"重量（KG）"_s);
    weightAxis->setRange(0, MaximumWeight);
    weightAxis->setLabelFormat(u"%g"_s);
    weightAxis->setTickCount(11);
    auto *feeAxis = new QValueAxis;
    feeAxis->setTitleText(u"运费（元）"_s);
    feeAxis->setLabelFormat(u"%g"_s);
    chart->addAxis(weightAxis, Qt::AlignBottom);
    chart->addAxis(feeAxis, Qt::AlignLeft);

    double highest = 0;
    const auto add = [&](QLineSeries *series, bool inLegend) {
        chart->addSeries(series);
        series->attachAxis(weightAxis);
        series->attachAxis(feeAxis);
        if (!inLegend) {
            for (QLegendMarker *marker : chart->legend()->markers(series))
                marker->setVisible(false);
        }
    };
    for (qsizetype c = 0; c < curve.couriers.size(); ++c) {
        auto *series = new QLineSeries;
        series->setName(curve.couriers.at(c));
        for (qsizetype w = 0; w < curve.weights.size(); ++w) {
            if (const std::optional<double> fee = curve.fees.at(c).at(w)) {
                series->append(curve.weights.at(w), *fee);
                highest = std::max(highest, *fee);
            }
        }
        add(series, true);
        // The fee at the pointer's weight, with the courier's name.
        connect(series, &QLineSeries::hovered, this, [series](const QPointF &point, bool state) {
            if (!state)
                return;
            const QList<QPointF> points = series->points();
            const auto nearest =
                std::min_element(points.cbegin(), points.cend(), [&point](QPointF a, QPointF b) {
                    return std::abs(a.x() - point.x()) < std::abs(b.x() - point.x());
                });
            if (nearest != points.cend()) {
                QToolTip::showText(QCursor::pos(),
                                   u"%1\n%2 KG：%3 元"_s.arg(series->name(), numberToText(nearest->x()),
                                                             numberToText(nearest->y())));
            }
        });
    }
    // The cheapest at every weight, drawn over the others.
    if (!curve.isEmpty()) {
        auto *envelope = new QLineSeries;
        envelope->setName(u"最便宜"_s);
        QPen pen(QColor(0x1B, 0x7A, 0x2E, 110));
        pen.setWidth(7);
        envelope->setPen(pen);
        for (qsizetype w = 0; w < curve.weights.size(); ++w) {
            std::optional<double> lowest;
            for (const QList<std::optional<double>> &fees : curve.fees) {
                if (fees.at(w) && (!lowest || *fees.at(w) < *lowest))
                    lowest = fees.at(w);
            }
            if (lowest)
                envelope->append(curve.weights.at(w), *lowest);
        }
        add(envelope, true);
    }
    feeAxis->setRange(0, highest > 0 ? highest * 1.05 : 10);
    feeAxis->applyNiceNumbers();
    // The band limits, faint.
    for (const double band : {20.0, 30.0}) {
        auto *limit = new QLineSeries;
        limit->setName(u"%1KG"_s.arg(band));
        QPen pen(QColor(0, 0, 0, 60));
        pen.setStyle(Qt::DashLine);
        limit->setPen(pen);
        limit->append(band, 0);
        limit->append(band, feeAxis->max());
        add(limit, false);
    }

    QStringList lines;
    for (const FeeCurve::Crossover &at : curve.cheapest)
        lines << u"%1 kg 起 %2 最便宜"_s.arg(numberToText(at.from), at.courier);
    m_crossovers->setText(curve.isEmpty() ? u"没有快递为这个目的地报价"_s : lines.join(u'\n'));

    QChart *old = m_view->chart();
    m_view->setChart(chart);
    delete old;
}

QString CurveWindow::crossoverText() const
{
    return m_crossovers->text();
}

void CurveWindow::exportPicture()
{
    const QString path =
        Messages::chooseSaveFile(this, u"导出图片"_s, u"PNG 图片 (*.png)"_s, u"运费曲线.png"_s);
    if (path.isEmpty())
        return;
    if (!m_view->grab().save(path, "PNG")) {
        Messages::show(this, u"无法保存图片：%1"_s.arg(path), u"提示"_s, Messages::Icon::Warning);
        return;
    }
    Messages::show(this, u"导出成功"_s);
}

} // namespace Kuaidi
