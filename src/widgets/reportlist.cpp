#include "reportlist.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace Kuaidi {

namespace {

// Draws cells as the style does, but keeps the laid-out text of every cell
// text it has drawn: a list repainted on every keystroke shows the same few
// dozen texts (prices, provinces, contacts) again and again, and laying out
// Chinese text is most of what drawing a cell costs.
class CachingDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty())
            return;

        // The text's place and colour as the common style gives them.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect rect =
            style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(margin, 0, -margin, 0);
        if (rect.width() <= 0)
            return;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                                : QPalette::Inactive;
        painter->save();
        painter->setPen(opt.palette.color(
            group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        const QStaticText &laidOut = staticText(text, opt.font, rect.width());
        const QSizeF size = laidOut.size();
        painter->drawStaticText(QPointF(rect.left(), rect.top() + (rect.height() - size.height()) / 2),
                                laidOut);
        painter->restore();
    }

private:
    const QStaticText &staticText(const QString &text, const QFont &font, int width) const
    {
        if (m_texts.size() > 4000)
            m_texts.clear();
        const Key key{text, font.bold(), width};
        auto it = m_texts.find(key);
        if (it == m_texts.end()) {
            const QFontMetrics metrics(font);
            QString shown = text;
            shown.replace(u'\n', u' ');
            QStaticText laidOut(metrics.elidedText(shown, Qt::ElideRight, width));
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(QTransform(), font);
            it = m_texts.insert(key, laidOut);
        }
        return *it;
    }

    struct Key
    {
        QString text;
        bool bold;
        int width;
        friend bool operator==(const Key &, const Key &) = default;
        friend size_t qHash(const Key &key, size_t seed)
        {
            return qHashMulti(seed, key.text, key.bold, key.width);
        }
    };
    mutable QHash<Key, QStaticText> m_texts;
};

} // namespace

ReportList::ReportList(QWidget *parent) : QTreeView(parent), m_model(new TextTableModel(this))
{
    setModel(m_model);
    setItemDelegate(new CachingDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setDefaultSectionSize(80);
    connect(header(), &QHeaderView::sectionClicked, this, &ReportList::headerClicked);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_settingWidths)
            m_handWidths.insert(column, width);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_fitsShownRows)
            fitColumnsToShownRows();
    });
}

void ReportList::setColumns(const QStringList &titles, const QList<int> &widths)
{
    TextTable table;
    table.columns = titles;
    m_model->setTable(std::move(table));
    m_titleWidths.fill(0, titles.size());
    m_handWidths.clear();
    for (int c = 0; c < titles.size(); ++c)
        applyWidth(c, c < widths.size() ? widths.at(c) : -1);
}

void ReportList::applyWidth(int column, int width)
{
    const QScopedValueRollback setting(m_settingWidths, true);
    setColumnHidden(column, width == 0);
    if (width > 0)
        setColumnWidth(column, width);
}

int ReportList::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ReportList::setCurrentRow(int row)
{
    if (row < 0 || row >= rowCount()) {
        setCurrentIndex({});
        return;
    }
    const QModelIndex at = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ReportList::fitColumnsToContents()
{
    const QScopedValueRollback setting(m_settingWidths, true);
    for (int c = 0; c < columnCount(); ++c) {
        if (!isColumnHidden(c))
            resizeColumnToContents(c);
    }
}

int ReportList::cellWidth(const QString &text, bool bold) const
{
    if (m_textWidths.size() > 4000)
        m_textWidths.clear();
    auto it = m_textWidths.constFind({text, bold});
    if (it == m_textWidths.cend()) {
        QFont shown = font();
        shown.setBold(bold);
        QString line = text;
        line.replace(u'\n', u' ');
        // The text's margins as the delegate draws them.
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        it = m_textWidths.insert({text, bold}, QFontMetrics(shown).horizontalAdvance(line) + 2 * margin + 1);
    }
    return *it;
}

void ReportList::fitColumnsToShownRows()
{
    m_fitsShownRows = true;
    if (m_titleWidths.size() != columnCount())
        m_titleWidths.fill(0, columnCount());
    const int rows = rowCount();
    int first = 0;
    int last = -1;
    if (rows > 0) {
        const QModelIndex top = indexAt(QPoint(0, 0));
        first = top.isValid() ? top.row() : 0;
        const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
        last = bottom.isValid() ? bottom.row() : rows - 1;
    }
    const QScopedValueRollback setting(m_settingWidths, true);
    for (int c = 0; c < columnCount(); ++c) {
        if (isColumnHidden(c))
            continue;
        int &title = m_titleWidths[c];
        if (title == 0)
            title = header()->sectionSizeHint(c);
        int width = qMax(title, m_handWidths.value(c));
        for (int r = first; r <= last; ++r) {
            const bool bold =
                m_model->isHighlighted(r) || m_model->cellTone(r, c) != TextTableModel::Tone::Plain;
            width = qMax(width, cellWidth(m_model->cell(r, c), bold));
        }
        if (width != columnWidth(c))
            setColumnWidth(c, width);
    }
}

void ReportList::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_textWidths.clear();
        m_titleWidths.fill(0, columnCount());
    }
    QTreeView::changeEvent(event);
}

void ReportList::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    // A taller list shows rows that were not measured.
    if (m_fitsShownRows && event->size().height() > event->oldSize().height())
        fitColumnsToShownRows();
}

QList<int> ReportList::sortByColumn(int column, bool ascending, int kind)
{
    if (m_model->cell(0, 0).isEmpty())
        return {};
    return m_model->sortByColumn(column, ascending, kind);
}

void ReportList::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    // A right-click selects the row under the pointer first, then acts on it.
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid())
        return;
    setCurrentRow(at.row());
    Q_EMIT rowRightClicked(at.row());
}

void ReportList::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu key acts on the current row as a right-click would.
    if (event->reason() == QContextMenuEvent::Keyboard && currentRow() >= 0) {
        Q_EMIT rowRightClicked(currentRow());
        return;
    }
    QTreeView::contextMenuEvent(event);
}

void ReportList::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(selectedRowsText());
        return;
    }
    QTreeView::keyPressEvent(event);
}

QString ReportList::selectedRowsText() const
{
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    const auto line = [](QStringList cells) {
        for (QString &cell : cells)
            cell.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        return cells.join(u'\t');
    };
    QStringList titles;
    for (int c = 0; c < columnCount(); ++c)
        titles << m_model->headerData(c, Qt::Horizontal).toString();
    QStringList lines{line(titles)};
    for (const int row : std::as_const(rows)) {
        QStringList cells;
        for (int c = 0; c < columnCount(); ++c)
            cells << cell(row, c);
        lines << line(cells);
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace Kuaidi
