#include "newtemplatepage.h"

#include "billingrulesform.h"
#include "columnmappingdialog.h"

#include <widgets/messages.h>
#include <widgets/named.h>
#include <widgets/priceinput.h>
#include <widgets/reportlist.h>
#include <widgets/sheetsource.h>

#include <batch/tablefile.h>
#include <core/billingrules.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <templates/ratesheet.h>
#include <templates/templategrid.h>

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

const QString DefaultName = u"汇通快递"_s;

// A small picture of a sheet in the expected layout.
QTableWidget *formatExample(QWidget *parent)
{
    const QStringList titles{u"地区"_s, u"首重价格"_s, u"续重价格"_s, u"到达时间"_s};
    const QList<QStringList> rows{{u"江苏南京"_s, u"8"_s, u"2"_s, u"次日"_s},
                                  {u"北京"_s, u"12"_s, u"5"_s, u"2-3天"_s}};
    auto *example = new QTableWidget(int(rows.size()), int(titles.size()), parent);
    example->setObjectName(u"图片框_格式示例"_s);
    example->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < titles.size(); ++c)
            example->setItem(r, c, new QTableWidgetItem(rows.at(r).at(c)));
    }
    example->setEditTriggers(QAbstractItemView::NoEditTriggers);
    example->setSelectionMode(QAbstractItemView::NoSelection);
    example->setFocusPolicy(Qt::NoFocus);
    example->verticalHeader()->hide();
    example->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    example->setFixedHeight(example->horizontalHeader()->sizeHint().height() + 2 * example->rowHeight(0) + 4);
    return example;
}

} // namespace

NewTemplatePage::NewTemplatePage(RateDatabase &database, QWidget *parent)
    : QWidget(parent), m_database(database)
{
    auto *choose = named<QPushButton>(u"按钮1"_s, u"1.选择excel文档"_s, this);
    m_path = new QLabel(this);
    m_path->setObjectName(u"标签_文件路径"_s);
    m_path->setStyleSheet(u"color: #555;"_s);
    m_sheets = new QComboBox(this);
    m_sheets->setObjectName(u"组合框1"_s);
    m_sheets->setMinimumWidth(120);
    m_sheetSource = std::make_unique<SheetSource>(m_sheets);
    auto *read = named<QPushButton>(u"按钮2"_s, u"2.确定读取，并智能匹配"_s, this);
    auto *mapColumns = named<QPushButton>(u"按钮_指定列"_s, u"指定列…"_s, this);
    mapColumns->setToolTip(u"表头认不出或认错时，逐列指定它的内容"_s);

    auto *steps = new QHBoxLayout;
    steps->addWidget(choose);
    steps->addWidget(new QLabel(u"选择表"_s, this));
    steps->addWidget(m_sheets);
    steps->addWidget(read);
    steps->addWidget(mapColumns);
    steps->addStretch();

    m_gridGroup = named<QGroupBox>(u"分组框_新模板"_s, this);
    m_gridGroup->setTitle(u"未命名快递公司模板"_s);
    m_grid = new ReportList(m_gridGroup);
    m_grid->setObjectName(u"超级列表框1"_s);
    m_readNotes = named<QLabel>(u"标签_读取说明"_s, m_gridGroup);
    m_readNotes->setWordWrap(true);
    m_readNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *gridLayout = new QVBoxLayout(m_gridGroup);
    gridLayout->addWidget(m_grid, 1);
    gridLayout->addWidget(m_readNotes);

    m_name = named<QLineEdit>(u"编辑框_为模板命名"_s, DefaultName, this);
    m_surcharge20 = named<QLineEdit>(u"编辑框_新建模板手续费1"_s, this);
    m_surcharge30 = named<QLineEdit>(u"编辑框_新建模板手续费2"_s, this);
    m_otherFee = named<QLineEdit>(u"编辑框_新建模板其他手续费"_s, this);
    m_contact = named<QLineEdit>(u"编辑框_新建模板联系方式"_s, this);
    auto *preview = named<QPushButton>(u"按钮3"_s, u"4.预览效果"_s, this);
    auto *save = named<QPushButton>(u"按钮9"_s, u"5.确定保存"_s, this);

    auto *settings = new QGridLayout;
    settings->addWidget(new QLabel(u"3.为模板命名为"_s, this), 0, 0);
    settings->addWidget(m_name, 0, 1);
    settings->addWidget(new QLabel(u"20-30KG手续费"_s, this), 0, 2);
    settings->addWidget(m_surcharge20, 0, 3);
    settings->addWidget(new QLabel(u"30-50手续费"_s, this), 0, 4);
    settings->addWidget(m_surcharge30, 0, 5);
    settings->addWidget(new QLabel(u"其他手续费"_s, this), 1, 0);
    settings->addWidget(m_otherFee, 1, 1);
    settings->addWidget(new QLabel(u"联系方式为"_s, this), 1, 2);
    settings->addWidget(m_contact, 1, 3, 1, 3);
    auto *actions = new QHBoxLayout;
    actions->addStretch();
    actions->addWidget(preview);
    actions->addWidget(save);
    auto *rulesGroup = new QGroupBox(u"计费规则（表头读到的已填好，可修改）"_s, this);
    rulesGroup->setObjectName(u"分组框_新建模板计费规则"_s);
    m_rulesForm = new BillingRulesForm(u"新建模板"_s, rulesGroup);
    (new QVBoxLayout(rulesGroup))->addWidget(m_rulesForm);
    settings->addWidget(rulesGroup, 2, 0, 1, 6);
    settings->addLayout(actions, 3, 0, 1, 6);

    auto *formatGroup = new QGroupBox(u"excel文档 格式说明"_s, this);
    auto *formatText = new QLabel(
        u"第一列标题为：地区   第二列标题为：首重价格   第三列标题为：续重价格  \n\n第四列标题为：到达时间  注意不要有空格"_s
        u"\n\n快递公司的报价表也可以直接读取：0-0.5kg、0.51-1kg 等重量段，首重(1kg)、续重(元/0.5kg)、"_s
        u"3KG以上续重、最低收费 等表头都能认出；认不出的列用“指定列…”指定。"_s,
        formatGroup);
    formatText->setWordWrap(true);
    auto *formatLayout = new QHBoxLayout(formatGroup);
    formatLayout->addWidget(formatText, 1);
    formatLayout->addWidget(formatExample(formatGroup), 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(steps);
    layout->addWidget(m_path);
    layout->addWidget(m_gridGroup, 1);
    layout->addLayout(settings);
    layout->addWidget(formatGroup);

    connect(choose, &QPushButton::clicked, this, &NewTemplatePage::chooseWorkbook);
    connect(m_sheets, &QComboBox::currentIndexChanged, this, &NewTemplatePage::LoadSheet);
    connect(read, &QPushButton::clicked, this, &NewTemplatePage::MatchProvinces);
    connect(mapColumns, &QPushButton::clicked, this, &NewTemplatePage::chooseColumns);
    connect(preview, &QPushButton::clicked, this, &NewTemplatePage::previewNewTemplate);
    connect(save, &QPushButton::clicked, this, &NewTemplatePage::saveNewTemplate);
}

NewTemplatePage::~NewTemplatePage() = default;

void NewTemplatePage::chooseWorkbook()
{
    const QString path = chooseWorkbookFile(this);
    if (!path.isEmpty())
        ListSheets(path);
}

void NewTemplatePage::ListSheets(const QString &path)
{
    if (!m_sheetSource->open(path, this))
        return;
    m_path->setText(QFileInfo(path).fileName());
    m_path->setToolTip(path);
    m_workbookPath = path;
    // A name the seller typed stays; one taken from the last file follows
    // the file.
    if (m_name->text().trimmed().isEmpty() || m_name->text() == m_fileName || m_name->text() == DefaultName) {
        m_fileName = QFileInfo(path).completeBaseName();
        m_name->setText(m_fileName);
    }
    LoadSheet();
}

void NewTemplatePage::LoadSheet()
{
    std::optional<TextTable> sheet = m_sheetSource->currentSheet(this);
    if (!sheet)
        return;
    if (const QString problem = newTemplateSizeProblem(*sheet); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    m_sheet = std::move(sheet);
    readSheet();
    BillingRules base;
    if (const std::optional<BillingRules> exported = exportedBillingRules(m_workbookPath))
        base = *exported;
    m_rulesForm->setRules(m_rates->rules.appliedTo(base));
}

void NewTemplatePage::readSheet()
{
    // Every problem of the sheet at once, before anything is saved; the
    // sheet still shows, so that the seller sees the rows named.
    m_rates = readRateSheet(*m_sheet, rememberedMapping());
    // A title left from the sheet before would name the wrong courier.
    m_gridGroup->setTitle(m_name->text().trimmed().isEmpty() ? u"未命名快递公司模板"_s : m_name->text());
    m_saved = false;
    if (!m_rates->problems.isEmpty()) {
        Messages::show(this, u"这个表格还不能保存为模板：\n\n"_s + m_rates->problems.join(u'\n'), u"提示"_s,
                       Messages::Icon::Warning);
    }
    m_grid->table()->setTable(m_rates->wholeTemplate ? m_rates->sheet : importGridFromSheet(m_rates->sheet));
    QList<int> widths(m_grid->columnCount(), 50);
    if (!widths.isEmpty())
        widths[0] = 40;
    showGrid(widths);
    showReadNotes();
}

void NewTemplatePage::showReadNotes()
{
    QStringList notes;
    if (!m_rates->understood.isEmpty())
        notes << u"读到的表头：%1"_s.arg(m_rates->understood.join(u"；"));
    if (!m_rates->unusedColumns.isEmpty())
        notes << u"未使用的列：%1"_s.arg(m_rates->unusedColumns.join(u"、"));
    if (!m_rates->skippedRows.isEmpty())
        notes << u"没有导入：%1"_s.arg(m_rates->skippedRows.join(u"、"));
    if (const QString unreachable = unreachableWeightsNote(m_rates->rules.appliedTo(BillingRules()));
        !unreachable.isEmpty())
        notes << unreachable;
    if (!m_rates->problems.isEmpty())
        notes << u"不能保存：%1"_s.arg(m_rates->problems.join(u"；"));
    m_readNotes->setText(notes.join(u'\n'));
    m_readNotes->setStyleSheet(m_rates->problems.isEmpty() ? u"color: #2a4a6a;"_s : u"color: #b03020;"_s);
}

namespace {

QString mappingKey(const QString &courier)
{
    return u"列的指定/"_s + QString::fromLatin1(courier.trimmed().toUtf8().toHex());
}

} // namespace

QHash<QString, QString> NewTemplatePage::rememberedMapping() const
{
    QHash<QString, QString> mapping;
    const QVariantMap stored = QSettings().value(mappingKey(m_name->text())).toMap();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (rateSheetTargets().contains(it.value().toString()))
            mapping.insert(it.key(), it.value().toString());
    }
    return mapping;
}

void NewTemplatePage::chooseColumns()
{
    if (!m_sheet) {
        Messages::show(this, u"请先点击“1.选择excel文档”，读取运费表格"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    ColumnMappingDialog dialog(m_rates->headings, m_rates->headingTargets, rememberedMapping(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Choices for other sheets of the same courier stay; this sheet's
    // headings take what was chosen now.
    QVariantMap stored = QSettings().value(mappingKey(m_name->text())).toMap();
    for (const QString &heading : std::as_const(m_rates->headings))
        stored.remove(heading);
    const QHash<QString, QString> chosen = dialog.mapping();
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it)
        stored.insert(it.key(), it.value());
    QSettings().setValue(mappingKey(m_name->text()), stored);
    readSheet();
    BillingRules base;
    if (const std::optional<BillingRules> exported = exportedBillingRules(m_workbookPath))
        base = *exported;
    m_rulesForm->setRules(m_rates->rules.appliedTo(base));
}

void NewTemplatePage::showGrid(const QList<int> &widths)
{
    for (int c = 0; c < m_grid->columnCount(); ++c)
        m_grid->setColumnWidth(c, widths.value(c, 50));
}

void NewTemplatePage::MatchProvinces()
{
    if (m_grid->columnCount() == 0) {
        Messages::show(this, u"请先点击“1.选择excel文档”，读取运费表格"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    QList<int> widths;
    for (int c = 0; c < m_grid->columnCount(); ++c)
        widths << m_grid->columnWidth(c);
    if (m_rates && !m_rates->problems.isEmpty()) {
        Messages::show(this, u"这个表格还不能保存为模板：\n\n"_s + m_rates->problems.join(u'\n'), u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    if (m_rates && m_rates->wholeTemplate)
        return; // an exported template has its provinces
    TextTable grid = m_grid->table()->table();
    const bool inserting = grid.columns.value(ColumnProvince) != RateColumns().at(ColumnProvince);
    Kuaidi::MatchProvinces(grid, m_rates && m_rates->ownProvinces);
    m_grid->table()->setTable(std::move(grid));
    if (inserting)
        widths.insert(qMin(qsizetype(ColumnProvince), widths.size()), 2, 40);
    showGrid(widths);
}

void NewTemplatePage::previewNewTemplate()
{
    m_gridGroup->setTitle(m_name->text());
    if (m_grid->columnCount() == 0 || (m_rates && m_rates->wholeTemplate))
        return;
    if (!checkPriceBoxes(this, {{u"20-30KG手续费"_s, m_surcharge20},
                                {u"30-50手续费"_s, m_surcharge30},
                                {u"其他手续费"_s, m_otherFee}}))
        return;
    TextTable grid = m_grid->table()->table();
    const int before = int(grid.columns.size());
    Kuaidi::previewNewTemplate(
        grid, {m_surcharge20->text(), m_surcharge30->text(), m_otherFee->text(), m_contact->text()});
    QList<int> widths;
    for (int c = 0; c < m_grid->columnCount(); ++c)
        widths << m_grid->columnWidth(c);
    if (grid.columns.size() > before)
        widths.insert(qMin(int(ColumnSurcharge20To30), int(widths.size())), int(grid.columns.size()) - before,
                      90);
    m_grid->table()->setTable(std::move(grid));
    showGrid(widths);
}

void NewTemplatePage::saveNewTemplate()
{
    const QString name = m_name->text();
    if (const QString problem = checkTemplateName(name); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (m_grid->columnCount() == 0 || !m_rates) {
        Messages::show(this, u"请先点击“1.选择excel文档”，读取运费表格"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    if (!m_rates->problems.isEmpty()) {
        Messages::show(this, u"这个表格还不能保存为模板：\n\n"_s + m_rates->problems.join(u'\n'), u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    // What is on screen is saved: the sheet with the boxes as they are now,
    // as 3 and 4 would show it, whichever steps were taken.
    if (!m_rates->wholeTemplate && !checkPriceBoxes(this, {{u"20-30KG手续费"_s, m_surcharge20},
                                                           {u"30-50手续费"_s, m_surcharge30},
                                                           {u"其他手续费"_s, m_otherFee}}))
        return;
    QString rulesProblem;
    const std::optional<BillingRules> rules = m_rulesForm->rules(&rulesProblem);
    if (!rules) {
        Messages::show(this, u"计费规则有误：%1"_s.arg(rulesProblem), u"提示"_s, Messages::Icon::Warning);
        return;
    }
    const TextTable grid = newTemplateGrid(
        *m_rates, {m_surcharge20->text(), m_surcharge30->text(), m_otherFee->text(), m_contact->text()});
    if (!m_database.open()) {
        Messages::show(this, u"连接数据库失败！\n\n"_s + m_database.lastError(), u"提示"_s,
                       Messages::Icon::Critical);
        return;
    }
    if (const QString problem = checkTemplateColumns(grid.columns); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    // The rules go in with the rows: a template without the rules its
    // prices need would quote wrongly.
    if (!m_database.createTemplate(name, grid.columns, grid.rows, *rules)) {
        Messages::show(this, u"保存失败，请查看快递模板是否重名！\n\n"_s + m_database.lastError(), u"提示"_s,
                       Messages::Icon::Critical);
        return;
    }
    m_saved = true;
    // The next courier's sheet should not inherit this one's contact.
    m_contact->clear();
    const QStringList notes = m_database.notes();
    Messages::show(this, notes.isEmpty() ? u"保存成功！"_s : u"保存成功！\n\n"_s + notes.join(u'\n'));
}

bool NewTemplatePage::hasUnsavedSheet() const
{
    return m_rates && !m_saved;
}

} // namespace Kuaidi
