#include "editorwindow.h"

#include "editorcolumns.h"
#include "pagearea.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <fees/feequote.h>
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
#include <QPushButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int GridWidth = 470;
constexpr int GridHeight = 370;
constexpr int ControlsWidth = 470;
constexpr int ControlsHeight = 262;

} // namespace

QString EditorWindow::defaultAddress()
{
    return u"https://wuliu.taobao.com/user/logis_tools.htm"_s;
}

EditorWindow::EditorWindow(const QString &databasePath, PageArea *page, QWidget *parent)
    : QWidget(parent), m_database(std::make_unique<RateDatabase>(databasePath)), m_page(page)
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

    m_page->setParent(this);

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
    m_page->setGeometry(6, 48, browserWidth, qMax(100, h - 100));
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
    QString error;
    if (!m_page->showAddress(QUrl::fromUserInput(m_address->text().trimmed()), &error))
        Messages::show(this, error, u"提示"_s, Messages::Icon::Warning);
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

    // The marketplace's form holds a first and an additional price only: a
    // template priced by weight brackets shows what a parcel of its first
    // weight pays.
    const BillingRules rules = m_database->billingRules(name).value_or(BillingRules());
    const int levelIndex = Kuaidi::levelIndex(level);
    QList<QStringList> rows;
    rows.reserve(table->rows.size());
    for (const QStringList &cells : rateRowsOf(*table, pricedColumns())) {
        rows.append({cells.at(ColumnId), QString(), cells.at(ColumnRegion), cells.at(ColumnProvince),
                     cells.at(ColumnCityGrade), formFirstWeightPrice(cells, rules, levelIndex),
                     shownLevelPrice(cells, levelIndex, FieldAdditionalWeight)});
    }
    showStoredTemplateColumns();
    m_grid->table()->setRows(std::move(rows));
    if (!rules.brackets.isEmpty()) {
        m_status->setText(
            u"“%1”按重量段计价，网页的运费模板只能填写首重和续重：首重价格显示的是 %2KG 包裹的价格"_s.arg(
                name, numberToText(rules.firstWeight)));
    }
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

void EditorWindow::sortByColumn(int column)
{
    m_grid->sortByColumn(column);
}

} // namespace Kuaidi
