#include "editorwindow.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <core/tolerance.h>
#include <pagefill/browserpage.h>
#include <pagefill/browserprofile.h>
#include <ratedb/ratedatabase.h>
#include <regions/regiontable.h>
#include <templates/raterows.h>
#include <templates/templategrid.h>
#include <widgets/messages.h>
#include <widgets/named.h>
#include <widgets/reportlist.h>
#include <widgets/screenfit.h>
#include <widgets/sheetsource.h>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int GridWidth = 470;
constexpr int GridHeight = 370;
constexpr int ControlsWidth = 470;
constexpr int ControlsHeight = 262;

// Column positions shared by both ways of loading the list.
enum EditorColumn {
    EditorId = 0,
    EditorElementId = 1,
    EditorRegion = 2,
    EditorFirst = 5,
    EditorAdditional = 6
};

const QString WelcomePage = uR"(<!DOCTYPE html><html><head><meta charset="utf-8"><style>
body { font-family: sans-serif; color: #333; margin: 2em; line-height: 1.7; }
h2 { color: #b03020; } li { margin-bottom: .4em; }
</style></head><body>
<h2>淘宝网店快递费用模板快速编辑器</h2>
<ol>
<li>在上方“物流工具网址”中确认地址，点击“1.打开”，登录后进入运费模板的编辑页面。</li>
<li>在右侧选择快递模板，再选择客户级别（或通过 excel 导入）。</li>
<li>点击“3.智能匹配”，程序为每个地区找到页面上对应的勾选框。</li>
<li>右键单击右侧列表中的地区，选择“勾选”：页面上该地区会被勾选，并在右侧显示首重、续重价格，照着填写即可。选择“勾选同价地区”，可一次勾选首重、续重价格都相同的全部地区；勾错了可以“取消勾选”。</li>
</ol></body></html>)"_s;

} // namespace

QString EditorWindow::defaultAddress()
{
    return u"https://wuliu.taobao.com/user/logis_tools.htm"_s;
}

EditorWindow::EditorWindow(const QString &databasePath, QWidget *parent)
    : QWidget(parent), m_database(std::make_unique<RateDatabase>(databasePath))
{
    // The caption, and the database it works on.
    setWindowTitle(u"Vantor淘宝网店快递费用模板快速编辑器 — "_s + m_database->shortName());
    // Closing the calculator ends the program, even with the editor open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMinimumSize(800, 500);

    // Address bar and browser.
    m_addressBar = new QWidget(this);
    m_address = named<QLineEdit>(u"编辑框2"_s, m_addressBar);
    m_address->setText(defaultAddress());
    auto *open = named<QPushButton>(u"按钮_打开"_s, u"1.打开"_s, m_addressBar);
    auto *addressLayout = new QHBoxLayout(m_addressBar);
    addressLayout->setContentsMargins(0, 0, 0, 0);
    addressLayout->addWidget(new QLabel(u"物流工具网址"_s, m_addressBar));
    addressLayout->addWidget(m_address, 1);
    addressLayout->addWidget(open);

    m_profile = persistentBrowserProfile(this);
    m_browser = new QWebEngineView(this);
    m_browser->setObjectName(u"超文本浏览框1"_s);
    m_browser->setPage(new BrowserPage(m_profile, m_browser));
    m_browser->setHtml(WelcomePage);

    // Choosers, steps and the prices of the chosen row.
    m_controls = new QGroupBox(this);
    m_controls->setObjectName(u"分组框_操作"_s);
    auto *methods = new QTabWidget(m_controls);
    methods->setObjectName(u"选择夹1"_s);

    auto *stored = new QWidget(methods);
    m_templates = new QComboBox(stored);
    m_templates->setObjectName(u"组合框3"_s);
    m_levels = new QComboBox(stored);
    m_levels->setObjectName(u"组合框2"_s);
    m_levels->addItems(levelNames());
    m_levels->setCurrentIndex(-1);
    m_levels->setPlaceholderText(u"选择客户级别后读取"_s);
    auto *storedLayout = new QGridLayout(stored);
    storedLayout->addWidget(new QLabel(u"2.快递模板"_s, stored), 0, 0);
    storedLayout->addWidget(m_templates, 0, 1);
    storedLayout->addWidget(new QLabel(u"客户级别"_s, stored), 1, 0);
    storedLayout->addWidget(m_levels, 1, 1);
    storedLayout->setColumnStretch(1, 1);
    methods->addTab(stored, u"第一种方法直接调用资料"_s);

    auto *sheet = new QWidget(methods);
    auto *choose = named<QPushButton>(u"按钮_选择excel文档"_s, u"2.选择excel文档"_s, sheet);
    m_sheets = new QComboBox(sheet);
    m_sheets->setObjectName(u"组合框1"_s);
    m_sheetSource = std::make_unique<SheetSource>(m_sheets);
    m_path = named<QLineEdit>(u"编辑框1"_s, sheet);
    m_path->setPlaceholderText(u"excel 文档路径"_s);
    auto *read = named<QPushButton>(u"按钮_确定读取"_s, u"3.确定读取"_s, sheet);
    auto *sheetLayout = new QGridLayout(sheet);
    sheetLayout->addWidget(choose, 0, 0);
    sheetLayout->addWidget(new QLabel(u"选择表"_s, sheet), 0, 1);
    sheetLayout->addWidget(m_sheets, 0, 2);
    sheetLayout->addWidget(m_path, 1, 0, 1, 2);
    sheetLayout->addWidget(read, 1, 2);
    sheetLayout->setColumnStretch(2, 1);
    methods->addTab(sheet, u"第二种方法通过excel导入资料"_s);

    auto *match = named<QPushButton>(u"按钮_智能匹配"_s, u"3.智能匹配"_s, m_controls);
    m_firstWeight = named<QLineEdit>(u"编辑框_首重价格"_s, m_controls);
    m_additionalWeight = named<QLineEdit>(u"编辑框_续重价格"_s, m_controls);
    m_rowIndex = named<QLineEdit>(u"编辑框3"_s, m_controls);
    m_rowIndex->setMaximumWidth(40);
    m_rowIndex->setToolTip(u"当前行号（从 0 数起）"_s);
    for (QLineEdit *box : {m_firstWeight, m_additionalWeight}) {
        box->setMaximumWidth(70);
        box->setStyleSheet(u"font-weight: bold; color: #b03020;"_s);
    }
    auto *prices = new QHBoxLayout;
    prices->addWidget(new QLabel(u"首重价格"_s, m_controls));
    prices->addWidget(m_firstWeight);
    prices->addWidget(new QLabel(u"元"_s, m_controls));
    prices->addSpacing(8);
    prices->addWidget(new QLabel(u"续重价格"_s, m_controls));
    prices->addWidget(m_additionalWeight);
    prices->addWidget(new QLabel(u"元"_s, m_controls));
    prices->addStretch();
    prices->addWidget(new QLabel(u"行号"_s, m_controls));
    prices->addWidget(m_rowIndex);
    m_status = new QLabel(m_controls);
    m_status->setObjectName(u"标签_状态"_s);
    m_status->setWordWrap(true);
    // Two lines, whatever the text: a long one must not move the form.
    m_status->setFixedHeight(2 * m_status->fontMetrics().lineSpacing() + 2);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setStyleSheet(u"color: #8a4b00;"_s);

    auto *controlsLayout = new QVBoxLayout(m_controls);
    controlsLayout->addWidget(methods);
    controlsLayout->addWidget(match);
    controlsLayout->addLayout(prices);
    controlsLayout->addWidget(m_status);

    m_grid = new ReportList(this);
    m_grid->setObjectName(u"超级列表框1"_s);
    m_grid->table()->setCheckable(true);
    m_grid->setToolTip(u"右键单击一个地区：在网页上勾选它（或勾选同价的全部地区），并显示它的价格"_s);
    showStoredTemplateColumns();

    connect(open, &QPushButton::clicked, this, &EditorWindow::showPage);
    connect(m_address, &QLineEdit::returnPressed, this, &EditorWindow::showPage);
    connect(m_levels, &QComboBox::activated, this, &EditorWindow::LoadStoredTemplate);
    connect(choose, &QPushButton::clicked, this, &EditorWindow::chooseWorkbook);
    connect(read, &QPushButton::clicked, this, [this] { ListSheets(m_path->text()); });
    connect(m_sheets, &QComboBox::currentIndexChanged, this, &EditorWindow::LoadSheet);
    connect(match, &QPushButton::clicked, this, &EditorWindow::MatchElementIds);
    connect(m_grid, &ReportList::rowRightClicked, this, &EditorWindow::showRowMenu);
    connect(m_grid, &ReportList::headerClicked, this, &EditorWindow::sortByColumn);

    // Successes go to the status line when the seller asked for fewer pop-ups.
    Messages::setStatusSink([this](const QString &text) { m_status->setText(text); });

    // Laid out for 1366 × 692; narrower, the browser takes the loss.
    fitIntoScreen(this, QSize(1366, 692));
    fillTemplateChooser();
}

EditorWindow::~EditorWindow()
{
    Messages::setStatusSink({});
    // The page must go before the profile it uses.
    delete m_browser;
    m_browser = nullptr;
}

void EditorWindow::showStoredTemplateColumns()
{
    m_grid->setColumns({u"ID"_s, QString(), u"地区"_s, u"省区"_s, u"市等级"_s, u"首重价格"_s, u"续重价格"_s},
                       {50, 0, 60, 80, 60, 100, 100});
}

void EditorWindow::fillTemplateChooser()
{
    m_templates->clear();
    const QStringList names = m_database->templateNames();
    if (!m_database->lastError().isEmpty()) {
        Messages::show(this, u"连接数据库失败！\n\n"_s + m_database->lastError(), u"提示"_s,
                       Messages::Icon::Critical);
        return;
    }
    m_templates->addItems(names);
    m_templates->setCurrentIndex(-1);
    m_templates->setPlaceholderText(names.isEmpty() ? u"还没有快递模板"_s : u"选择快递模板"_s);
}

void EditorWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    const int h = event->size().height();
    const int browserWidth = qMax(100, w - GridWidth - 50);
    m_addressBar->setGeometry(6, 12, browserWidth, 28);
    m_browser->setGeometry(6, 48, browserWidth, qMax(100, h - 100));
    m_controls->setGeometry(w - ControlsWidth - 15, 8, ControlsWidth, ControlsHeight);
    // On a short screen the list ends at the window's bottom edge.
    const int gridTop = 8 + ControlsHeight + 8;
    m_grid->setGeometry(w - GridWidth - 15, gridTop, GridWidth, qBound(100, h - gridTop - 8, GridHeight));
}

void EditorWindow::closeEvent(QCloseEvent *event)
{
    m_sheetSource->close();
    QWidget::closeEvent(event);
}

void EditorWindow::showPage()
{
    m_browser->setUrl(QUrl::fromUserInput(m_address->text().trimmed()));
}

void EditorWindow::LoadStoredTemplate()
{
    const QString name = m_templates->currentIndex() < 0 ? QString() : m_templates->currentText();
    const QString level = m_levels->currentText();
    if (name.isEmpty()) {
        Messages::show(this, u"请先在“2.快递模板”中选择一个快递模板，再选择客户级别"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    const std::optional<TextTable> table = m_database->readTemplate(name);
    if (!table) {
        // Nothing of the template shown before may be ticked with its prices.
        m_grid->table()->clearRows();
        for (QLineEdit *box : {m_firstWeight, m_additionalWeight, m_rowIndex})
            box->clear();
        Messages::show(this, u"读取快递模板失败！\n\n"_s + m_database->lastError(), u"提示"_s,
                       Messages::Icon::Critical);
        return;
    }
    Messages::show(this, u"读取成功"_s);

    const int levelIndex = Kuaidi::levelIndex(level);
    QList<QStringList> rows;
    rows.reserve(table->rows.size());
    for (const QStringList &cells : rateRowsOf(*table)) {
        rows.append({cells.at(ColumnId), QString(), cells.at(ColumnRegion), cells.at(ColumnProvince),
                     cells.at(ColumnCityGrade), shownLevelPrice(cells, levelIndex, FieldFirstWeight),
                     shownLevelPrice(cells, levelIndex, FieldAdditionalWeight)});
    }
    showStoredTemplateColumns();
    m_grid->table()->setRows(std::move(rows));
}

void EditorWindow::chooseWorkbook()
{
    const QString path = chooseWorkbookFile(this);
    if (path.isEmpty())
        return;
    m_path->setText(path);
    ListSheets(path);
}

void EditorWindow::ListSheets(const QString &path)
{
    if (m_sheetSource->open(path, this))
        LoadSheet();
}

void EditorWindow::LoadSheet()
{
    const std::optional<TextTable> sheet = m_sheetSource->currentSheet(this);
    if (!sheet)
        return;
    // Prices are taken by position: the fourth and fifth fields.
    const QStringList expected{RateColumns().at(ColumnFirstWeight), RateColumns().at(ColumnAdditionalWeight)};
    if (sheet->columns.mid(3, 2) != expected) {
        Messages::show(this,
                       u"这个表格的第4、5列不是“首重价格”“续重价格”，右侧显示的价格可能不对。\n"
                       "编辑器使用的表格格式为：地区、省区、市等级、首重价格、续重价格。"_s,
                       u"提示"_s, Messages::Icon::Warning);
    }
    TextTable grid = editorGridFromSheet(*sheet);
    QList<int> widths(grid.columns.size(), 80);
    widths[EditorId] = 40;
    widths[EditorElementId] = 0;
    m_grid->setColumns(grid.columns, widths);
    m_grid->table()->setRows(std::move(grid.rows));
}

void EditorWindow::MatchElementIds()
{
    if (m_grid->rowCount() == 0) {
        Messages::show(this, u"列表中还没有地区：请先读取快递模板，或者通过 excel 导入"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        if (const std::optional<RegionMatch> match = MatchRegion(m_grid->cell(row, EditorRegion)))
            m_grid->table()->setCell(row, EditorElementId, match->entry->elementId.toString());
    }
    Messages::show(this, u"智能匹配成功！可以进行下一步操作！"_s);
}

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

EditorWindow::Tick EditorWindow::tickRegion(int row)
{
    const QString elementId = m_grid->cell(row, EditorElementId);
    if (elementId.isEmpty())
        return Tick::NoElementId;
    if (!m_filler.SetCheckBoxChecked(elementId, true)) {
        return m_filler.lastCheckResult() == WebFormFiller::CheckResult::Disabled ? Tick::Disabled
                                                                                  : Tick::NotFound;
    }
    m_filler.SetCheckBoxDisplay(elementId);
    m_grid->table()->setShaded(row, true);
    return Tick::Done;
}

QString EditorWindow::tickText(int row, Tick tick) const
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
    // Bound afresh for every row, so the seller may browse between rows.
    m_filler.Initialise(m_browser);
    const Tick tick = tickRegion(row);
    m_status->setText(tickText(row, tick));
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
    m_filler.Initialise(m_browser);
    if (!m_filler.SetCheckBoxChecked(elementId, false)) {
        m_status->setText(m_filler.lastCheckResult() == WebFormFiller::CheckResult::Disabled
                              ? u"“%1”在网页上不可选择，没有改动"_s.arg(region)
                              : tickText(row, Tick::NotFound));
        return false;
    }
    m_filler.restoreCheckBoxDisplay(elementId);
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
    const QString region = m_grid->cell(row, EditorRegion);
    const std::optional<double> first = leadingNumber(m_grid->cell(row, EditorFirst));
    const std::optional<double> additional = leadingNumber(m_grid->cell(row, EditorAdditional));
    if (!first) {
        m_status->setText(u"“%1”没有首重价格，无法勾选同价地区"_s.arg(region));
        return 0;
    }
    const auto samePrice = [](std::optional<double> a, std::optional<double> b) {
        return a.has_value() == b.has_value() && (!a || qAbs(*a - *b) < Tolerance);
    };

    m_filler.Initialise(m_browser);
    int ticked = 0;
    int lastTicked = row;
    QStringList missed;
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        if (!samePrice(leadingNumber(m_grid->cell(r, EditorFirst)), first) ||
            !samePrice(leadingNumber(m_grid->cell(r, EditorAdditional)), additional))
            continue;
        if (tickRegion(r) == Tick::Done) {
            ++ticked;
            lastTicked = r;
        } else {
            missed.append(m_grid->cell(r, EditorRegion));
        }
    }
    showRowPrices(lastTicked);
    QString text = u"已在网页上勾选 %1 个与“%2”同价的地区（首重 %3 元，续重 %4 元）"_s.arg(ticked).arg(
        region, m_grid->cell(row, EditorFirst), m_grid->cell(row, EditorAdditional));
    // The status line has room for two lines: a few names, all of them in
    // its tooltip.
    constexpr qsizetype NamesShown = 3;
    if (!missed.isEmpty()) {
        text +=
            u"；%1 个未能勾选（没有对应的网页勾选框，或不可选择）：%2%3"_s.arg(missed.size())
                .arg(missed.mid(0, NamesShown).join(u'、'), missed.size() > NamesShown ? u"等"_s : QString());
    }
    if (ticked == 0)
        text += u"。请确认已点击“3.智能匹配”，并已打开运费模板的编辑页面"_s;
    m_status->setText(text);
    m_status->setToolTip(missed.isEmpty() ? QString() : u"未能勾选：\n"_s + missed.join(u'\n'));
    return ticked;
}

void EditorWindow::sortByColumn(int column)
{
    m_grid->sortByColumn(column);
}

} // namespace Kuaidi
