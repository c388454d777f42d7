#include "feecurve.h"

#include "feequery.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Kuaidi {

qsizetype curveWeightCount(double step, double end)
{
    if (!(step > 0) || !(end > 0))
        return 0;
    const double count = std::floor((end + Tolerance) / step);
    return count > double(MaxCurvePoints) ? MaxCurvePoints + 1 : qsizetype(count);
}

CurveRow curveRow(const QString &courier, const QStringList &cells, const BillingRules &rules)
{
    CurveRow row{courier, QList<double>(PricedColumnCount),
                 leadingNumber(cells.value(ColumnFirstWeight)).has_value(), rules};
    readPriceNumbers(cells, row.numbers.data());
    return row;
}

namespace {

QList<CurveRow> destinationCurveRows(const QList<std::shared_ptr<const TemplateRows>> &templates,
                                     const QHash<QString, BillingRules> &rules, const QString &destination)
{
    QList<CurveRow> found;
    if (destination.trimmed().isEmpty())
        return found;
    const OrderDestination where = orderDestination(destination);
    for (const std::shared_ptr<const TemplateRows> &rows : templates) {
        if (!rows)
            continue;
        const qsizetype row = orderRow(*rows, where);
        if (row < 0)
            continue;
        const quint32 combination = rows->combination(row);
        const double *numbers = rows->combinationNumbers(combination);
        found.append({rows->name(), QList<double>(numbers, numbers + PricedColumnCount),
                      leadingNumber(rows->combinationCell(combination, ColumnFirstWeight)).has_value(),
                      rules.value(rows->name())});
    }
    return found;
}

double heaviestMaximum(const QList<CurveRow> &rows)
{
    double heaviest = MaximumWeight;
    for (const CurveRow &row : rows)
        heaviest = qMax(heaviest, row.rules.maximumWeight);
    return heaviest;
}

std::optional<double> curveFee(const CurveRow &row, double weight, std::optional<double> volume, int level)
{
    const std::optional<FeeFigures> figures = computeFeeFigures(
        row.numbers.constData(), row.ownFirstPriced, billedWeight(weight, volume, row.rules), level);
    if (figures && figures->priced && figures->total > 0)
        return figures->total;
    return std::nullopt;
}

} // namespace

FeeCurve ComputeFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                         const QHash<QString, BillingRules> &rules, const QString &destination, int level,
                         std::optional<double> volume, double step)
{
    FeeCurve curve;
    if (!(step > 0))
        return curve;
    const QList<CurveRow> rows = destinationCurveRows(templates, rules, destination);
    // Whole multiples of the step, each computed afresh so that no error
    // adds up; never more of them than a curve may have.
    const qsizetype count = qMin(curveWeightCount(step, heaviestMaximum(rows)), MaxCurvePoints);
    for (qsizetype i = 1; i <= count; ++i)
        curve.weights << shownNumber(double(i) * step);

    QList<CurveRow> couriers;
    for (const CurveRow &row : rows) {
        QList<std::optional<double>> fees;
        fees.reserve(curve.weights.size());
        bool anyFee = false;
        for (const double weight : std::as_const(curve.weights)) {
            fees << curveFee(row, weight, volume, level);
            anyFee = anyFee || fees.last().has_value();
        }
        if (!anyFee)
            continue; // no price for the region: not a courier here
        curve.couriers << row.courier;
        curve.fees << fees;
        couriers << row;
    }
    // A template that prices heavier parcels but not this region's does not
    // stretch the curve.
    curve.maximum = heaviestMaximum(couriers);
    const qsizetype kept = qMin(curveWeightCount(step, curve.maximum), curve.weights.size());
    curve.cut = curveWeightCount(step, curve.maximum) > kept;
    curve.weights.resize(kept);
    for (QList<std::optional<double>> &fees : curve.fees)
        fees.resize(kept);

    int current = -1;
    for (qsizetype w = 0; w < curve.weights.size(); ++w) {
        int best = -1;
        for (int c = 0; c < curve.couriers.size(); ++c) {
            const std::optional<double> fee = curve.fees.at(c).at(w);
            if (fee && (best < 0 || *fee < *curve.fees.at(best).at(w) - Tolerance))
                best = c;
        }
        if (best < 0)
            continue;
        // A tie keeps the courier that was cheapest.
        const std::optional<double> kept = current >= 0 ? curve.fees.at(current).at(w) : std::nullopt;
        if (kept && std::abs(*kept - *curve.fees.at(best).at(w)) <= Tolerance)
            best = current;
        if (best != current) {
            curve.cheapest.append({curve.weights.at(w), curve.couriers.at(best)});
            current = best;
        }
    }
    return curve;
}

namespace {

// Weights closer than this are one: the rules compare weights within the
// tolerance, and no seller weighs a parcel this finely.
constexpr double Apart = 10 * Tolerance;
// Fees and slopes closer than this are one line: only the last digits of
// their sums tell them apart.
constexpr double SameLine = 1e-9;

// The weights up to @p end where @p rules may change a fee's course, rising,
// @p end among them, at most @p most of them.
QList<double> breakpointsOf(const BillingRules &rules, std::optional<double> volume, double end,
                            qsizetype most)
{
    QList<double> points{rules.firstWeight, 20, 30, MaximumWeight, rules.maximumWeight, end};
    points += rules.brackets.first(qMin(rules.brackets.size(), qsizetype(MaxBrackets)));
    points += rules.bandStarts.first(qMin(rules.bandStarts.size(), qsizetype(MaxBands)));
    if (volume && *volume > 0 && rules.volumeDivisor > 0)
        points << *volume * 1'000'000 / rules.volumeDivisor;
    if (rules.rounding != BillingRules::Rounding::None) {
        const double step = rules.rounding == BillingRules::Rounding::HalfKilogram ? 0.5 : 1;
        for (qsizetype k = 1; k <= most && double(k) * step < end; ++k)
            points << double(k) * step;
    }
    points.removeIf([end](double point) { return !(point > 0 && point <= end); });
    std::sort(points.begin(), points.end());
    QList<double> rising;
    for (const double point : std::as_const(points)) {
        if (rising.size() == most)
            break;
        if (point > (rising.isEmpty() ? 0.0 : rising.last()) + Apart)
            rising << point;
    }
    return rising;
}

// Appends @p piece, joined to the last where both are one line, or both
// without a fee.
void join(QList<FeePiece> &pieces, const FeePiece &piece)
{
    if (!pieces.isEmpty()) {
        FeePiece &last = pieces.last();
        const bool oneLine = last.priced && piece.priced && std::abs(last.slope - piece.slope) <= SameLine &&
                             std::abs(last.feeAt(last.to) - piece.start) <= SameLine;
        if (oneLine || (!last.priced && !piece.priced)) {
            last.to = piece.to;
            return;
        }
    }
    pieces << piece;
}

// Where the line of @p piece reaches @p fee well inside it, if it does.
std::optional<double> reaching(const FeePiece &piece, double fee)
{
    if (std::abs(piece.slope) <= SameLine)
        return std::nullopt;
    const double at = piece.from + (fee - piece.start) / piece.slope;
    if (at > piece.from + Apart && at < piece.to - Apart)
        return at;
    return std::nullopt;
}

// Appends @p line raised to @p minimum (NaN: none) where it runs below it,
// and without a fee where that is 0 or less.
void appendRaised(QList<FeePiece> &pieces, const FeePiece &line, double minimum)
{
    if (!line.priced) {
        join(pieces, line);
        return;
    }
    QList<double> cuts;
    if (const std::optional<double> at = std::isfinite(minimum) ? reaching(line, minimum) : std::nullopt)
        cuts << *at;
    if (const std::optional<double> at = reaching(line, 0))
        cuts << *at;
    std::sort(cuts.begin(), cuts.end());
    cuts << line.to;
    double from = line.from;
    for (const double to : std::as_const(cuts)) {
        if (!(to > from))
            continue;
        const double middle = (from + to) / 2;
        FeePiece piece{from, to, true, line.feeAt(from), line.slope};
        if (std::isfinite(minimum) && line.feeAt(middle) < minimum - Tolerance)
            piece = {from, to, true, minimum, 0};
        if (!(piece.feeAt(middle) > SameLine))
            piece = {from, to, false, 0, 0};
        join(pieces, piece);
        from = to;
    }
}

// Drops what lies beyond @p end.
void clip(QList<FeePiece> &pieces, double end)
{
    while (!pieces.isEmpty() && pieces.last().from >= end - Apart)
        pieces.removeLast();
    if (!pieces.isEmpty())
        pieces.last().to = qMin(pieces.last().to, end);
}

// One courier's line over a stretch of weight.
struct Line
{
    int courier = -1;
    double from = 0;
    double start = 0;
    double slope = 0;

    double feeAt(double weight) const { return start + slope * (weight - from); }
};

// Whether @p a is cheaper than @p b just above @p weight: by more than the
// tolerance there, or as cheap and rising slower.
bool cheaperAbove(const Line &a, const Line &b, double weight)
{
    const double difference = a.feeAt(weight) - b.feeAt(weight);
    if (std::abs(difference) > Tolerance)
        return difference < 0;
    return a.slope < b.slope - SameLine;
}

class CheapestWalk
{
public:
    explicit CheapestWalk(ExactFeeCurve &curve) : m_curve(curve) {}

    void run()
    {
        QList<double> cuts;
        for (const QList<FeePiece> &pieces : std::as_const(m_curve.pieces)) {
            for (const FeePiece &piece : pieces)
                cuts << piece.to;
        }
        std::sort(cuts.begin(), cuts.end());
        QList<qsizetype> at(m_curve.pieces.size(), 0);
        double from = 0;
        QList<Line> lines;
        for (const double to : std::as_const(cuts)) {
            if (to <= from + Apart || to > m_curve.end)
                continue;
            // Every courier's line over (from, to]: one piece of each.
            const double middle = (from + to) / 2;
            lines.clear();
            for (int c = 0; c < m_curve.pieces.size(); ++c) {
                const QList<FeePiece> &pieces = m_curve.pieces.at(c);
                qsizetype &i = at[c];
                while (i < pieces.size() && pieces.at(i).to < middle)
                    ++i;
                if (i < pieces.size() && pieces.at(i).priced)
                    lines.append({c, from, pieces.at(i).feeAt(from), pieces.at(i).slope});
            }
            if (!lines.isEmpty())
                walk(lines, from, to);
            from = to;
        }
    }

private:
    // The cheapest over (from, to], where each courier follows one line: the
    // cheapest just above @p from, then, where a line that rises slower
    // crosses it, that line.
    void walk(const QList<Line> &lines, double from, double to)
    {
        const Line *cheapest = &lines.first();
        for (const Line &line : lines) {
            if (line.courier == m_current)
                cheapest = &line;
        }
        for (const Line &line : lines) {
            if (cheaperAbove(line, *cheapest, from))
                cheapest = &line;
        }
        changeTo(*cheapest, from);
        double x = from;
        for (;;) {
            // Each change goes to a line that rises slower: few, and never back.
            const Line *next = nullptr;
            double nextAt = to;
            for (const Line &line : lines) {
                if (!(line.slope < cheapest->slope - SameLine))
                    continue;
                const double gap = qMax(line.feeAt(x) - cheapest->feeAt(x), 0.0);
                const double at = x + gap / (cheapest->slope - line.slope);
                if (at >= to - Apart)
                    continue;
                if (!next || at < nextAt || (at == nextAt && line.slope < next->slope)) {
                    next = &line;
                    nextAt = at;
                }
            }
            if (!next) {
                append(*cheapest, x, to);
                return;
            }
            if (nextAt > x)
                append(*cheapest, x, nextAt);
            cheapest = next;
            x = nextAt;
            changeTo(*cheapest, x);
        }
    }

    void changeTo(const Line &line, double from)
    {
        if (line.courier == m_current)
            return;
        m_current = line.courier;
        const FeeCurve::Crossover crossover{from, m_curve.couriers.at(line.courier), true};
        // Two changes at one weight are one.
        if (!m_curve.crossovers.isEmpty() && m_curve.crossovers.last().from == from)
            m_curve.crossovers.last() = crossover;
        else
            m_curve.crossovers << crossover;
    }

    void append(const Line &line, double from, double to)
    {
        const FeePiece piece{from, to, true, line.feeAt(from), line.slope};
        if (!m_curve.cheapest.isEmpty()) {
            ExactFeeCurve::Cheapest &last = m_curve.cheapest.last();
            if (last.courier == line.courier && last.piece.to == from &&
                std::abs(last.piece.slope - piece.slope) <= SameLine &&
                std::abs(last.piece.feeAt(from) - piece.start) <= SameLine) {
                last.piece.to = to;
                return;
            }
        }
        m_curve.cheapest.append({piece, line.courier});
    }

    ExactFeeCurve &m_curve;
    int m_current = -1;
};

void clipCurve(ExactFeeCurve &curve, double end)
{
    curve.end = end;
    for (QList<FeePiece> &pieces : curve.pieces)
        clip(pieces, end);
    while (!curve.cheapest.isEmpty() && curve.cheapest.last().piece.from >= end - Apart)
        curve.cheapest.removeLast();
    if (!curve.cheapest.isEmpty())
        curve.cheapest.last().piece.to = qMin(curve.cheapest.last().piece.to, end);
    curve.crossovers.removeIf([end](const FeeCurve::Crossover &c) { return c.from >= end - Apart; });
}

} // namespace

QList<FeePiece> feePieces(const CurveRow &row, int level, std::optional<double> volume, double end,
                          qsizetype most)
{
    QList<FeePiece> pieces;
    if (!(end > 0) || most < 1)
        return pieces;
    QList<double> numbers = row.numbers;
    numbers.resize(PricedColumnCount);
    const double minimum = row.numbers.value(ColumnMinimumFee, std::numeric_limits<double>::quiet_NaN());
    // The minimum is applied where the line crosses it, so that what is
    // priced here is one line a piece.
    numbers[ColumnMinimumFee] = std::numeric_limits<double>::quiet_NaN();
    const auto fee = [&](double weight) -> std::optional<double> {
        const std::optional<FeeFigures> figures = computeFeeFigures(
            numbers.constData(), row.ownFirstPriced, billedWeight(weight, volume, row.rules), level);
        return figures && figures->priced ? std::optional<double>(figures->total) : std::nullopt;
    };
    double from = 0;
    for (const double to : breakpointsOf(row.rules, volume, end, most)) {
        // Well inside the piece, clear of the limits the rules compare
        // within the tolerance.
        const double a = from + (to - from) / 4;
        const double b = from + (to - from) * 3 / 4;
        const std::optional<double> feeA = fee(a);
        const std::optional<double> feeB = fee(b);
        FeePiece piece{from, to, false, 0, 0};
        if (feeA && feeB) {
            piece.priced = true;
            piece.slope = shownNumber((*feeB - *feeA) / (b - a));
            piece.start = shownNumber(*feeA - piece.slope * (a - from));
        }
        appendRaised(pieces, piece, minimum);
        from = to;
    }
    if (pieces.size() > most)
        pieces.resize(most);
    return pieces;
}

bool ExactFeeCurve::isCut() const
{
    return end < maximum - Apart;
}

std::optional<double> ExactFeeCurve::feeAt(int courier, double weight) const
{
    if (courier < 0 || courier >= pieces.size())
        return std::nullopt;
    const QList<FeePiece> &line = pieces.at(courier);
    const auto piece = std::lower_bound(line.cbegin(), line.cend(), weight,
                                        [](const FeePiece &p, double w) { return p.to < w; });
    if (piece == line.cend() || !(weight > piece->from) || !piece->priced)
        return std::nullopt;
    return piece->feeAt(weight);
}

ExactFeeCurve computeExactFeeCurve(const QList<CurveRow> &rows, int level, std::optional<double> volume,
                                   double step)
{
    ExactFeeCurve curve;
    constexpr qsizetype most = MaxCurvePoints / 2;
    // As far as MaxCurvePoints weights at the step reach, and 50 kg always.
    const double reach = step > 0 ? qMax(double(MaxCurvePoints) * step, MaximumWeight) : MaximumWeight;
    const double end = qMin(heaviestMaximum(rows), reach);
    QList<CurveRow> kept;
    for (const CurveRow &row : rows) {
        const QList<FeePiece> pieces = feePieces(row, level, volume, end, most);
        if (std::none_of(pieces.cbegin(), pieces.cend(), [](const FeePiece &p) { return p.priced; }))
            continue; // no price for the region: not a courier here
        curve.couriers << row.courier;
        curve.pieces << pieces;
        kept << row;
    }
    curve.maximum = heaviestMaximum(kept);
    double shortest = qMin(end, curve.maximum);
    for (const QList<FeePiece> &pieces : std::as_const(curve.pieces))
        shortest = qMin(shortest, pieces.last().to);
    clipCurve(curve, shortest);
    CheapestWalk(curve).run();
    if (curve.cheapest.size() > most)
        clipCurve(curve, curve.cheapest.at(most - 1).piece.to);
    return curve;
}

ExactFeeCurve computeExactFeeCurve(const QList<std::shared_ptr<const TemplateRows>> &templates,
                                   const QHash<QString, BillingRules> &rules, const QString &destination,
                                   int level, std::optional<double> volume, double step)
{
    return computeExactFeeCurve(destinationCurveRows(templates, rules, destination), level, volume, step);
}

} // namespace Kuaidi
