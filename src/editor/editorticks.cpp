// The editor's row actions: ticking a row's region on the page, taking a
// tick back, and ticking every region of the same price.

#include "editorcolumns.h"
#include "editorwindow.h"
#include "pagearea.h"

#include <regions/regiontable.h>
#include <templates/samepriceregions.h>
#include <widgets/reportlist.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// The status line has room for two lines: a few names, all of them in its
// tooltip.
constexpr qsizetype NamesShown = 3;

QString someNames(const QStringList &names)
{
    return names.mid(0, NamesShown).join(u'、') + (names.size() > NamesShown ? u"等"_s : QString());
}

bool isRegionBox(const PageCheckBox &box)
{
    for (const RegionEntry &entry : RegionTable::entries()) {
        if (entry.elementId == box.id)
            return true;
    }
    return false;
}

} // namespace

QMenu *EditorWindow::rowMenu(int row)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto add = [menu](const QString &name, const QString &text, auto action) {
        QAction *item = menu->addAction(text, action);
        item->setObjectName(name);
    };
    add(u"菜单_勾选"_s, u"勾选"_s, [this, row] { ApplyRow(row); });
    add(u"菜单_取消勾选"_s, u"取消勾选"_s, [this, row] { unapplyRow(row); });
    add(u"菜单_勾选同价地区"_s, u"勾选同价地区"_s, [this, row] { applySamePriceRows(row); });
    return menu;
}

void EditorWindow::showRowMenu(int row)
{
    // At the pointer for a right-click, under the row for the menu key
    // (wherever the pointer happens to be).
    QPoint at = QCursor::pos();
    if (m_grid->indexAt(m_grid->viewport()->mapFromGlobal(at)).row() != row) {
        const QRect rect = m_grid->visualRect(m_grid->table()->index(row, EditorRegion));
        at = m_grid->viewport()->mapToGlobal(rect.bottomLeft());
    }
    rowMenu(row)->popup(at);
}

QString EditorWindow::bindPage()
{
    QString error;
    return m_filler.Initialise(m_page->tab(), &error) ? QString() : error;
}

EditorWindow::Tick EditorWindow::tickBox(const QString &elementId)
{
    if (!m_filler.SetCheckBoxChecked(elementId, true)) {
        return m_filler.lastCheckResult() == WebFormFiller::CheckResult::Disabled ? Tick::Disabled
                                                                                  : Tick::NotFound;
    }
    m_filler.SetCheckBoxDisplay(elementId);
    return Tick::Done;
}

EditorWindow::Tick EditorWindow::tickRegion(int row)
{
    const QString elementId = m_grid->cell(row, EditorElementId);
    if (elementId.isEmpty())
        return Tick::NoElementId;
    const Tick tick = tickBox(elementId);
    if (tick == Tick::Done)
        m_grid->table()->setShaded(row, true);
    return tick;
}

QString EditorWindow::tickText(int row, Tick tick, const QString &bindError)
{
    const QString region = m_grid->cell(row, EditorRegion);
    switch (tick) {
    case Tick::Done:
        return u"已在网页上勾选“%1”"_s.arg(region);
    case Tick::NoElementId:
        return u"“%1”没有对应的网页勾选框：请先点击“3.智能匹配”，或在网页上手动勾选"_s.arg(region);
    case Tick::Disabled:
        return u"“%1”在网页上不可选择（可能已用在其他运费规则中），没有勾选"_s.arg(region);
    case Tick::NotFound:
        break;
    }
    // Why the box is not there: no page at all, or a page without regions.
    if (!bindError.isEmpty())
        return bindError;
    const QList<PageCheckBox> boxes = m_filler.checkBoxes();
    if (std::none_of(boxes.cbegin(), boxes.cend(), isRegionBox))
        return u"当前网页不是运费模板的编辑页面（没有找到地区勾选框）：请在浏览器中打开运费模板，进入“指定地区”的编辑"_s;
    return u"网页上没有找到“%1”的勾选框，请确认已打开运费模板的编辑页面"_s.arg(region);
}

void EditorWindow::showRowPrices(int row)
{
    m_grid->table()->setOnlyChecked(row);
    m_rowIndex->setText(QString::number(row));
    m_firstWeight->setText(m_grid->cell(row, EditorFirst));
    m_additionalWeight->setText(m_grid->cell(row, EditorAdditional));
}

bool EditorWindow::ApplyRow(int row)
{
    if (row < 0 || row >= m_grid->rowCount())
        return false;
    const QString bindError = bindPage();
    const Tick tick = tickRegion(row);
    m_status->setText(tickText(row, tick, bindError));
    m_status->setToolTip(QString());
    showRowPrices(row);
    return tick == Tick::Done;
}

bool EditorWindow::unapplyRow(int row)
{
    if (row < 0 || row >= m_grid->rowCount())
        return false;
    const QString elementId = m_grid->cell(row, EditorElementId);
    const QString region = m_grid->cell(row, EditorRegion);
    if (elementId.isEmpty()) {
        m_status->setText(tickText(row, Tick::NoElementId));
        return false;
    }
    const QString bindError = bindPage();
    if (!m_filler.SetCheckBoxChecked(elementId, false)) {
        m_status->setText(m_filler.lastCheckResult() == WebFormFiller::CheckResult::Disabled
                              ? u"“%1”在网页上不可选择，没有改动"_s.arg(region)
                              : tickText(row, Tick::NotFound, bindError));
        return false;
    }
    m_filler.restoreCheckBoxDisplay(elementId);
    // The cities ticked in the province's place go with it.
    for (const QString &city : m_citiesTicked.take(region)) {
        m_filler.SetCheckBoxChecked(city, false);
        m_filler.restoreCheckBoxDisplay(city);
    }
    m_grid->table()->setShaded(row, false);
    if (m_grid->table()->isChecked(row))
        m_grid->table()->setOnlyChecked(-1);
    m_status->setText(u"已在网页上取消勾选“%1”"_s.arg(region));
    return true;
}

int EditorWindow::applySamePriceRows(int row)
{
    if (row < 0 || row >= m_grid->rowCount())
        return 0;
    QList<PricedRegion> rows;
    rows.reserve(m_grid->rowCount());
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        rows.append({m_grid->cell(r, EditorRegion), m_grid->cell(r, EditorElementId),
                     m_grid->cell(r, EditorFirst), m_grid->cell(r, EditorAdditional)});
    }
    const QString region = m_grid->cell(row, EditorRegion);
    const std::optional<SamePriceRegions> same = samePriceRegions(rows, row);
    if (!same) {
        m_status->setText(u"“%1”没有首重价格，无法勾选同价地区"_s.arg(region));
        return 0;
    }

    const QString bindError = bindPage();
    int ticked = 0;
    int lastTicked = row;
    QStringList missed;
    for (const int r : same->rows) {
        if (tickRegion(r) == Tick::Done) {
            ++ticked;
            lastTicked = r;
        } else {
            missed.append(m_grid->cell(r, EditorRegion));
        }
    }
    // A province whose cities are priced apart: its other cities, one by one.
    QStringList byCities;
    QStringList leftOut;
    QStringList details;
    for (const ProvinceByCities &province : same->byCities) {
        const QString name = m_grid->cell(province.row, EditorRegion);
        QStringList done;
        for (const QString &city : province.cityElementIds) {
            if (tickBox(city) == Tick::Done)
                done.append(city);
        }
        if (province.cityElementIds.isEmpty()) {
            leftOut.append(name);
        } else if (done.isEmpty()) {
            missed.append(name);
        } else {
            ++ticked;
            lastTicked = province.row;
            m_citiesTicked[name] = done;
            m_grid->table()->setShaded(province.row, true);
            byCities.append(name);
        }
        details.append(u"%1：%2 另有价格，%3"_s.arg(
            name, province.pricedApart.join(u'、'),
            province.cityElementIds.isEmpty() ? u"没有勾选"_s : u"勾选了其余 %1 个城市"_s.arg(done.size())));
    }
    showRowPrices(lastTicked);

    QString text = u"已在网页上勾选 %1 个与“%2”同价的地区（首重 %3 元，续重 %4 元）"_s.arg(ticked).arg(
        region, m_grid->cell(row, EditorFirst), m_grid->cell(row, EditorAdditional));
    if (!byCities.isEmpty())
        text += u"；%1 有城市另有价格，只勾选了同价的城市"_s.arg(someNames(byCities));
    if (!leftOut.isEmpty())
        text += u"；%1 的城市都另有价格，没有勾选"_s.arg(someNames(leftOut));
    if (!missed.isEmpty()) {
        text += u"；%1 个未能勾选（没有对应的网页勾选框，或不可选择）：%2"_s.arg(missed.size())
                    .arg(someNames(missed));
    }
    if (ticked == 0)
        text += bindError.isEmpty() ? u"。请确认已点击“3.智能匹配”，并已打开运费模板的编辑页面"_s
                                    : u"。"_s + bindError;
    m_status->setText(text);
    if (!missed.isEmpty())
        details.append(u"未能勾选：\n"_s + missed.join(u'\n'));
    m_status->setToolTip(details.join(u'\n'));
    return ticked;
}

} // namespace Kuaidi
