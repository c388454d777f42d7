#include <widgets/reportlist.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

const QString Long = u"一段很长很长的联系方式：客服电话 400-800-1234 转 5678，工作日 9:00–18:00"_s;

// @p rows rows of short texts, the last one long in column 1.
TextTableModel::RowSource shortRowsThenALongOne(int rows)
{
    return {rows,
            [rows](int row, int column) {
                if (row == rows - 1 && column == 1)
                    return Long;
                return column == 0 ? u"圆通"_s : u"3.5"_s;
            },
            {}};
}

// The width the rows on screen need, as the view itself measures them.
int shownRowsNeed(ReportList &list, int column)
{
    list.header()->setResizeContentsPrecision(0); // the rows on screen, no others
    const QAbstractItemView &view = list;         // where the measure is public
    return qMax(view.sizeHintForColumn(column), list.header()->sectionSizeHint(column));
}

} // namespace

class TestReportList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Widths follow what is on screen: a long text further down widens its
    // column only once it is scrolled to; a highlighted (bold) row is
    // measured bold.
    void fitColumnsToShownRows_showsWholeTextsOnScreen()
    {
        ReportList list;
        list.resize(300, 200);
        list.setColumns({u"快递名称"_s, u"联系方式"_s}, {40, 40});
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.table()->setRowSource(shortRowsThenALongOne(500));
        list.table()->setHighlightedRows({0});
        list.fitColumnsToShownRows();
        for (int c = 0; c < 2; ++c)
            QVERIFY2(list.columnWidth(c) >= shownRowsNeed(list, c), qPrintable(QString::number(c)));
        QVERIFY(list.columnWidth(1) < list.fontMetrics().horizontalAdvance(Long));

        list.scrollToBottom();
        QApplication::processEvents();
        QVERIFY(list.columnWidth(1) >= shownRowsNeed(list, 1));
        QVERIFY(list.columnWidth(1) > list.fontMetrics().horizontalAdvance(Long));
    }

    // A column the seller widens by hand stays at least that wide when the
    // list is fitted again; a narrower one is fitted to its texts.
    void fitColumnsToShownRows_keepsAColumnWidenedByHand()
    {
        ReportList list;
        list.resize(400, 200);
        list.setColumns({u"快递名称"_s, u"联系方式"_s});
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.table()->setRowSource(shortRowsThenALongOne(3));
        list.fitColumnsToShownRows();
        const int fitted = list.columnWidth(0);
        list.header()->resizeSection(0, fitted + 150); // dragged by the seller
        list.table()->setRowSource(shortRowsThenALongOne(4));
        list.fitColumnsToShownRows();
        QCOMPARE(list.columnWidth(0), fitted + 150);
        QVERIFY(list.columnWidth(1) >= shownRowsNeed(list, 1));
    }
};

QTEST_MAIN(TestReportList)
#include "tst_reportlist.moc"
