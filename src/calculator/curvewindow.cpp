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
#include <utility>

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
    draw(computeExactFeeCurve(rows, rules, destination, levelIndex(level), volume));
}

namespace {

// A crossover weight to the gram: what a seller weighs.
QString weightText(double kilograms)
{
    return numberToText(std::round(kilograms * 1000) / 1000);
}

// The corners of @p pieces as lines to draw, one a stretch with a fee:
// straight where the fee runs on, upright where it steps.
QList<QList<QPointF>> strokesOf(const QList<FeePiece> &pieces)
{
    QList<QList<QPointF>> strokes;
    QList<QPointF> stroke;
    for (const FeePiece &piece : pieces) {
        if (!piece.priced) {
            if (!stroke.isEmpty())
                strokes << std::exchange(stroke, {});
            continue;
        }
        if (stroke.isEmpty() || stroke.last() != QPointF(piece.from, piece.start))
            stroke << QPointF(piece.from, piece.start);
        stroke << QPointF(piece.to, piece.feeAt(piece.to));
    }
    if (!stroke.isEmpty())
        strokes << stroke;
    return strokes;
}

} // namespace

void CurveWindow::draw(const ExactFeeCurve &curve)
{
    m_curve = std::make_shared<const ExactFeeCurve>(curve);
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *weightAxis = new QValueAxis;
    weightAxis->setTitleText(u"重量（KG）"_s);
    weightAxis->setRange(0, curve.end);
    weightAxis->setLabelFormat(u"%g"_s);
    weightAxis->setTickCount(11);
    if (curve.end != MaximumWeight)
        weightAxis->applyNiceNumbers();
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
    // One line a stretch with a fee; the stretches after the first take its
    // colour and stay out of the legend.
    const auto addStrokes = [&](const QList<QList<QPointF>> &strokes, const QString &name, const QPen *pen) {
        QList<QLineSeries *> added;
        for (const QList<QPointF> &stroke : strokes) {
            auto *series = new QLineSeries;
            series->setName(name);
            series->append(stroke);
            if (pen)
                series->setPen(*pen);
            else if (!added.isEmpty())
                series->setPen(added.first()->pen());
            for (const QPointF &point : stroke)
                highest = std::max(highest, point.y());
            add(series, added.isEmpty());
            added << series;
        }
        return added;
    };
    for (int c = 0; c < curve.couriers.size(); ++c) {
        for (QLineSeries *series : addStrokes(strokesOf(curve.pieces.at(c)), curve.couriers.at(c), nullptr)) {
            // The fee at the pointer's weight, with the courier's name.
            connect(series, &QLineSeries::hovered, this, [this, c](const QPointF &point, bool state) {
                const std::optional<double> fee = state ? m_curve->feeAt(c, point.x()) : std::nullopt;
                if (fee) {
                    QToolTip::showText(QCursor::pos(), u"%1\n%2 KG：%3 元"_s.arg(
                                                           m_curve->couriers.at(c), weightText(point.x()),
                                                           numberToText(std::round(*fee * 100) / 100)));
                }
            });
        }
    }
    // The cheapest at every weight, drawn over the others.
    if (!curve.isEmpty()) {
        QList<FeePiece> lowest;
        double reached = 0;
        for (const ExactFeeCurve::Cheapest &cheapest : curve.cheapest) {
            if (cheapest.piece.from > reached)
                lowest.append({reached, cheapest.piece.from, false, 0, 0});
            lowest << cheapest.piece;
            reached = cheapest.piece.to;
        }
        QPen pen(QColor(0x1B, 0x7A, 0x2E, 110));
        pen.setWidth(7);
        addStrokes(strokesOf(lowest), u"最便宜"_s, &pen);
    }
    feeAxis->setRange(0, highest > 0 ? highest * 1.05 : 10);
    feeAxis->applyNiceNumbers();
    // The band limits, faint.
    for (const double band : {20.0, 30.0, MaximumWeight}) {
        if (band >= curve.end)
            continue;
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
    for (const FeeCurve::Crossover &at : curve.crossovers) {
        lines << (at.above && at.from > 0 ? u"超过 %1 kg %2 最便宜"_s : u"%1 kg 起 %2 最便宜"_s)
                     .arg(weightText(at.from), at.courier);
    }
    if (curve.isCut()) {
        lines << u"\n曲线只画到 %1 kg：每条线最多 %2 个点（最大重量 %3 kg）"_s.arg(
            weightText(curve.end), QString::number(MaxCurvePoints), weightText(curve.maximum));
    }
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
