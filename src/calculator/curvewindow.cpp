#include "curvewindow.h"

#include "chartplan.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feecurve.h>
#include <fees/feequote.h>
#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>

#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibrary>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr auto ChartComponent = "kuaidi-chart"_L1;

// The chart component's functions, loaded once: from beside this program (a
// build, a portable copy) or from where an installation keeps it.
struct ChartFunctions
{
    MakeChartView make = nullptr;
    ShowChart show = nullptr;
};

const ChartFunctions &chartFunctions()
{
    static const ChartFunctions functions = [] {
        const QDir dir(QCoreApplication::applicationDirPath());
        for (const QString &candidate :
             {dir.filePath(ChartComponent),
              dir.filePath(QLatin1StringView(KUAIDI_CHART_DIR) + u'/' + ChartComponent)}) {
            QLibrary library(candidate);
            if (!library.load())
                continue;
            ChartFunctions found{reinterpret_cast<MakeChartView>(library.resolve(MakeChartViewSymbol)),
                                 reinterpret_cast<ShowChart>(library.resolve(ShowChartSymbol))};
            if (found.make && found.show)
                return found;
        }
        return ChartFunctions{};
    }();
    return functions;
}

} // namespace

CurveWindow::CurveWindow(RateDatabase &database, QWidget *parent)
    : QWidget(parent, Qt::Window), m_database(database)
{
    setObjectName(u"curveWindow"_s);
    setWindowTitle(u"运费曲线"_s);
    resize(900, 520);
    m_title = new QLabel(this);
    m_title->setObjectName(u"curveTitle"_s);
    if (const ChartFunctions &chart = chartFunctions(); chart.make) {
        m_view = chart.make(this);
    } else {
        auto *missing = new QLabel(
            u"无法画出运费曲线：找不到程序的组件 %1，请重新安装本程序"_s.arg(ChartComponent), this);
        missing->setAlignment(Qt::AlignCenter);
        missing->setWordWrap(true);
        m_view = missing;
    }
    m_view->setObjectName(u"curveChart"_s);
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
    ChartPlan plan;
    plan.weightTitle = u"重量（KG）"_s;
    plan.feeTitle = u"运费（元）"_s;
    plan.weightEnd = curve.end;
    plan.niceWeights = curve.end != MaximumWeight;
    // One line a stretch with a fee; the stretches after the first take its
    // colour and stay out of the legend.
    const auto addStrokes = [&plan](const QList<QList<QPointF>> &strokes, const QString &name,
                                    const std::optional<QPen> &pen, int hoverKey) {
        for (qsizetype i = 0; i < strokes.size(); ++i) {
            ChartLine line{name, strokes.at(i), pen, i > 0, i == 0, false, hoverKey};
            for (const QPointF &point : line.points)
                plan.highestFee = std::max(plan.highestFee, point.y());
            plan.lines << line;
        }
    };
    for (int c = 0; c < curve.couriers.size(); ++c)
        addStrokes(strokesOf(curve.pieces.at(c)), curve.couriers.at(c), std::nullopt, c);
    // The fee at the pointer's weight, with the courier's name.
    plan.hovered = [this](int c, QPointF point) {
        if (const std::optional<double> fee = m_curve->feeAt(c, point.x())) {
            QToolTip::showText(QCursor::pos(),
                               u"%1\n%2 KG：%3 元"_s.arg(m_curve->couriers.at(c), weightText(point.x()),
                                                         numberToText(std::round(*fee * 100) / 100)));
        }
    };
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
        addStrokes(strokesOf(lowest), u"最便宜"_s, pen, -1);
    }
    // The band limits, faint.
    for (const double band : {20.0, 30.0, MaximumWeight}) {
        if (band >= curve.end)
            continue;
        QPen pen(QColor(0, 0, 0, 60));
        pen.setStyle(Qt::DashLine);
        plan.lines << ChartLine{u"%1KG"_s.arg(band), {QPointF(band, 0)}, pen, false, false, true, -1};
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

    if (const ChartFunctions &chart = chartFunctions(); chart.show)
        chart.show(m_view, plan);
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
