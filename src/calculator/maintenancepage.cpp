#include "maintenancepage.h"

#include <widgets/messages.h>
#include <widgets/named.h>
#include <widgets/priceinput.h>
#include <widgets/reportlist.h>
#include <widgets/sheetsource.h>

#include <batch/tablefile.h>
#include <import/workbook.h>
#include <templates/ratesheet.h>

#include <core/billingrules.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <templates/rowrules.h>

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView Success = u"成功！";
constexpr QStringView UpdateFailed = u"更改数据失败";

} // namespace

MaintenancePage::MaintenancePage(RateDatabase &database, QWidget *parent)
    : QWidget(parent), m_database(database)
{
    m_templates = new QComboBox(this);
    m_templates->setObjectName(u"组合框3"_s);
    m_templates->setMinimumWidth(150);
    m_templates->setPlaceholderText(u"请选择快递模板"_s);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(u"1.选择欲修改快递模板名称"_s, this));
    top->addWidget(m_templates);
    top->addStretch();
    auto *replaceButton = named<QPushButton>(u"按钮_替换模板"_s, u"用表格替换…"_s, this);
    replaceButton->setToolTip(u"用一个表格的行替换这个模板的全部行；名称和计费规则不变，替换前自动备份"_s);
    auto *exportButton = named<QPushButton>(u"按钮_导出模板"_s, u"导出…"_s, this);
    exportButton->setToolTip(u"把这个模板导出为 Excel 工作簿（.xlsx）或 CSV 文件"_s);
    auto *deleteButton = named<QPushButton>(u"按钮_删除模板"_s, u"删除模板"_s, this);
    deleteButton->setToolTip(u"删除这个模板；删除前自动备份，可在“设置”→“恢复备份…”中找回"_s);
    top->addWidget(replaceButton);
    top->addWidget(exportButton);
    top->addWidget(deleteButton);

    m_listGroup = new QGroupBox(u"未命名快递公司模板"_s, this);
    m_listGroup->setObjectName(u"分组框2"_s);
    m_rows = new ReportList(m_listGroup);
    m_rows->setObjectName(u"超级列表框1_公司模板"_s);
    m_rows->setToolTip(u"右键单击一行，把它的内容放到下面的编辑框里；单击列标题排序"_s);
    (new QVBoxLayout(m_listGroup))->addWidget(m_rows);

    // Row editor.
    auto *rowGroup = new QGroupBox(u"原参数"_s, this);
    m_id = named<QLineEdit>(u"编辑框_ID"_s, rowGroup);
    m_id->setMaximumWidth(60);
    m_id->setReadOnly(true);
    m_region = named<QLineEdit>(u"编辑框_市区"_s, rowGroup);
    m_firstWeight = named<QLineEdit>(u"编辑框_首重价格"_s, rowGroup);
    m_additionalWeight = named<QLineEdit>(u"编辑框_续重价格"_s, rowGroup);
    m_surcharge20 = named<QLineEdit>(u"编辑框_手续费1"_s, rowGroup);
    m_surcharge30 = named<QLineEdit>(u"编辑框_手续费2"_s, rowGroup);
    m_otherFee = named<QLineEdit>(u"编辑框_其他手续费"_s, rowGroup);
    m_arrival = named<QLineEdit>(u"编辑框_到达时间"_s, rowGroup);
    auto *rowGrid = new QGridLayout(rowGroup);
    const QList<std::pair<QString, QLineEdit *>> fields{
        {u"ID"_s, m_id},
        {u"市区"_s, m_region},
        {u"首重价格"_s, m_firstWeight},
        {u"续重价格"_s, m_additionalWeight},
        {u"20-30KG手续费"_s, m_surcharge20},
        {u"30-50手续费"_s, m_surcharge30},
        {u"其他手续费"_s, m_otherFee},
        {u"到达时间"_s, m_arrival},
    };
    for (int i = 0; i < fields.size(); ++i) {
        rowGrid->addWidget(new QLabel(fields.at(i).first, rowGroup), i / 2, (i % 2) * 2);
        rowGrid->addWidget(fields.at(i).second, i / 2, (i % 2) * 2 + 1);
    }
    auto *change = named<QPushButton>(u"按钮5"_s, u"修改"_s, rowGroup);
    auto *add = named<QPushButton>(u"按钮6"_s, u"增加"_s, rowGroup);
    auto *remove = named<QPushButton>(u"按钮7"_s, u"删除"_s, rowGroup);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(change);
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowGrid->addLayout(rowButtons, 4, 0, 1, 4);

    // Star-level prices.
    auto *levelGroup = new QGroupBox(u"会员设置"_s, this);
    m_level = new QComboBox(levelGroup);
    m_level->setObjectName(u"组合框2"_s);
    m_level->addItems(levelNames());
    auto *levelGrid = new QGridLayout(levelGroup);
    levelGrid->addWidget(m_level, 0, 0, 1, 3);
    const QStringList priceLabels{u"首重价格"_s, u"续重价格"_s, u"20-30KG"_s, u"30-50KG"_s, u"其他手续费"_s};
    for (int f = 0; f < PriceFieldCount; ++f) {
        auto *box = named<QLineEdit>(u"编辑框%1"_s.arg(15 + f), levelGroup);
        box->setMaximumWidth(70);
        m_levelPrices << box;
        levelGrid->addWidget(new QLabel(priceLabels.at(f), levelGroup), f + 1, 0);
        levelGrid->addWidget(new QLabel(u"增加"_s, levelGroup), f + 1, 1);
        levelGrid->addWidget(box, f + 1, 2);
    }
    auto *levelCurrent = named<QPushButton>(u"按钮14"_s, u"修改当前"_s, levelGroup);
    auto *levelAll = named<QPushButton>(u"按钮10"_s, u"全部修改"_s, levelGroup);
    auto *levelButtons = new QHBoxLayout;
    levelButtons->addWidget(levelCurrent);
    levelButtons->addWidget(levelAll);
    levelGrid->addLayout(levelButtons, PriceFieldCount + 1, 0, 1, 3);

    // Template name.
    auto *nameGroup = new QGroupBox(u"此快递模板总参数修改"_s, this);
    m_newName = named<QLineEdit>(u"编辑框14"_s, nameGroup);
    auto *rename = named<QPushButton>(u"按钮8"_s, u"确定修改"_s, nameGroup);
    auto *nameLayout = new QHBoxLayout(nameGroup);
    nameLayout->addWidget(new QLabel(u"模版名称"_s, nameGroup));
    nameLayout->addWidget(m_newName, 1);
    nameLayout->addWidget(rename);

    // Contact.
    auto *contactGroup = new QGroupBox(u"联系方式修改"_s, this);
    m_contact = named<QLineEdit>(u"编辑框_联系方式"_s, contactGroup);
    auto *contactCurrent = named<QPushButton>(u"按钮16"_s, u"修改当前"_s, contactGroup);
    auto *contactAll = named<QPushButton>(u"按钮11"_s, u"全部修改"_s, contactGroup);
    auto *contactLayout = new QHBoxLayout(contactGroup);
    contactLayout->addWidget(m_contact, 1);
    contactLayout->addWidget(contactCurrent);
    contactLayout->addWidget(contactAll);

    auto *editors = new QHBoxLayout;
    editors->addWidget(rowGroup, 3);
    editors->addWidget(levelGroup, 2);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(nameGroup, 1);
    bottom->addWidget(contactGroup, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(m_listGroup, 1);
    layout->addLayout(editors);
    layout->addLayout(bottom);
    layout->addWidget(createRulesGroup());

    connect(m_templates, &QComboBox::currentIndexChanged, this, &MaintenancePage::chooseTemplate);
    // Choosing the template already shown loads it again, as any choice does.
    connect(m_templates, &QComboBox::activated, this, [this](int index) {
        if (index == m_chosenIndex)
            chooseTemplate();
    });
    connect(m_rows, &ReportList::rowRightClicked, this, &MaintenancePage::selectRow);
    connect(m_rows, &ReportList::headerClicked, this, &MaintenancePage::sortByColumn);
    connect(change, &QPushButton::clicked, this, &MaintenancePage::changeRow);
    connect(add, &QPushButton::clicked, this, &MaintenancePage::addRow);
    connect(remove, &QPushButton::clicked, this, &MaintenancePage::deleteRow);
    connect(m_level, &QComboBox::currentIndexChanged, this, &MaintenancePage::chooseStarLevel);
    connect(levelCurrent, &QPushButton::clicked, this, &MaintenancePage::setLevelPricesOfCurrentRow);
    connect(levelAll, &QPushButton::clicked, this, &MaintenancePage::setLevelPricesOfAllRows);
    connect(contactCurrent, &QPushButton::clicked, this, &MaintenancePage::setContactOfCurrentRow);
    connect(contactAll, &QPushButton::clicked, this, &MaintenancePage::setContactOfAllRows);
    connect(rename, &QPushButton::clicked, this, &MaintenancePage::renameTemplate);
    connect(replaceButton, &QPushButton::clicked, this, &MaintenancePage::replaceTemplate);
    connect(exportButton, &QPushButton::clicked, this, &MaintenancePage::exportTemplate);
    connect(deleteButton, &QPushButton::clicked, this, &MaintenancePage::deleteTemplate);

    chooseStarLevel();
}

// How this courier bills: rounding up, the first weight, the volume divisor.
QGroupBox *MaintenancePage::createRulesGroup()
{
    auto *group = new QGroupBox(u"计费规则"_s, this);
    group->setObjectName(u"分组框_计费规则"_s);
    m_rulesGroup = group;
    m_rounding = named<QComboBox>(u"组合框_计费取整"_s, group);
    m_rounding->addItems(roundingTexts());
    m_rounding->setToolTip(u"计费重量向上取整：不取整、按 0.5KG 或按 1KG 进位"_s);
    m_firstWeightRule = named<QLineEdit>(u"编辑框_首重重量"_s, group);
    m_firstWeightRule->setToolTip(u"首重价格包含的重量，单位 KG"_s);
    m_divisor = named<QComboBox>(u"组合框_抛重系数"_s, group);
    m_divisor->setEditable(true);
    m_divisor->addItems({u"0"_s, u"6000"_s, u"8000"_s, u"12000"_s});
    m_divisor->setToolTip(u"体积（立方厘米）除以抛重系数得体积重；0 表示不按体积计费"_s);
    auto *save = named<QPushButton>(u"按钮_保存计费规则"_s, u"保存规则"_s, group);
    m_rulesStatus = named<QLabel>(u"标签_计费规则状态"_s, group);
    m_rulesStatus->setWordWrap(true);

    m_firstWeightRule->setMaximumWidth(60);
    auto *line = new QHBoxLayout(group);
    const auto addField = [&](const QString &label, QWidget *field) {
        auto *title = new QLabel(label, group);
        title->setBuddy(field);
        line->addWidget(title);
        line->addWidget(field);
    };
    addField(u"计费取整"_s, m_rounding);
    addField(u"首重重量(KG)"_s, m_firstWeightRule);
    addField(u"抛重系数"_s, m_divisor);
    line->addWidget(save);
    line->addWidget(m_rulesStatus, 1);
    connect(save, &QPushButton::clicked, this, &MaintenancePage::saveBillingRules);
    showBillingRules(BillingRules());
    group->setEnabled(false);
    return group;
}

void MaintenancePage::showBillingRules(const BillingRules &rules)
{
    const QStringList texts = billingRuleTexts(rules);
    m_rounding->setCurrentIndex(int(roundingTexts().indexOf(texts.at(0))));
    m_firstWeightRule->setText(texts.at(1));
    m_divisor->setEditText(texts.at(2));
}

void MaintenancePage::saveBillingRules()
{
    if (!ensureTemplateChosen())
        return;
    const QString name = currentTemplate();
    QString problem;
    QStringList texts = billingRuleTexts(m_database.billingRules(name).value_or(BillingRules()));
    texts[0] = m_rounding->currentText();
    texts[1] = m_firstWeightRule->text();
    texts[2] = m_divisor->currentText();
    const std::optional<BillingRules> rules = billingRulesFromTexts(texts, &problem);
    const auto showRulesStatus = [this](const QString &text, bool failed) {
        m_rulesStatus->setStyleSheet(failed ? u"color: #b03020;"_s : u"color: #2a6a2a;"_s);
        m_rulesStatus->setText(text);
    };
    if (!rules) {
        showRulesStatus(u"没有保存：%1"_s.arg(problem), true);
        return;
    }
    if (!m_database.setBillingRules(name, *rules)) {
        showRulesStatus(u"保存失败：%1"_s.arg(m_database.lastError()), true);
        return;
    }
    showBillingRules(*rules);
    showRulesStatus(u"已保存“%1”的计费规则"_s.arg(name), false);
}

void MaintenancePage::setTemplateNames(const QStringList &names)
{
    const QString chosen = m_templates->currentText();
    const QSignalBlocker blocker(m_templates);
    m_templates->clear();
    for (int i = 0; i < names.size(); ++i)
        m_templates->addItem(names.at(i), i + 1);
    m_templates->setCurrentIndex(chosen.isEmpty() ? -1 : int(names.indexOf(chosen)));
}

QString MaintenancePage::currentTemplate() const
{
    return m_templates->currentIndex() < 0 ? QString() : m_templates->currentText();
}

bool MaintenancePage::ensureTemplateChosen()
{
    if (!currentTemplate().isEmpty())
        return true;
    Messages::show(this, u"请先在“1.选择欲修改快递模板名称”中选择一个快递模板"_s, u"提示"_s,
                   Messages::Icon::Warning);
    return false;
}

bool MaintenancePage::ensureRowSelected()
{
    if (!ensureTemplateChosen())
        return false;
    if (m_selectedRow >= 0 && m_selectedRow < m_rows->rowCount())
        return true;
    Messages::show(this, u"请先在列表中右键单击选择一条记录"_s, u"提示"_s, Messages::Icon::Warning);
    return false;
}

void MaintenancePage::chooseTemplate()
{
    m_chosenIndex = m_templates->currentIndex();
    const QString name = currentTemplate();
    m_listGroup->setTitle(name.isEmpty() ? u"未命名快递公司模板"_s : name);
    m_newName->setText(name);
    m_selectedRow = -1;
    m_rows->setColumns({});
    m_rulesStatus->clear();
    m_rulesGroup->setEnabled(!name.isEmpty());
    if (name.isEmpty())
        return;

    if (!m_database.open()) {
        Messages::show(this, u"NO\n\n"_s + m_database.lastError(), {}, Messages::Icon::Critical);
        return;
    }
    Messages::show(this, Success.toString());
    std::optional<TextTable> table = m_database.readTemplate(name);
    if (!table) {
        Messages::show(this, u"查询信息失败！\n\n"_s + m_database.lastError(), u"失败"_s,
                       Messages::Icon::Critical);
        return;
    }
    for (QStringList &row : table->rows) {
        for (QString &cell : row)
            cell = cell.trimmed();
    }
    if (const std::optional<BillingRules> rules = m_database.billingRules(name))
        showBillingRules(*rules);
    const QList<int> widths(table->columns.size(), 50);
    m_rows->setColumns(table->columns, widths);
    m_rows->table()->setRows(std::move(table->rows));
    m_rows->fitColumnsToContents();
    chooseStarLevel();
}

void MaintenancePage::selectRow(int row)
{
    m_selectedRow = row;
    m_rows->setCurrentRow(row);
    const auto cell = [this, row](int column) { return m_rows->cell(row, column); };
    m_arrival->setText(cell(ColumnArrivalTime));
    m_contact->setText(cell(ColumnContact));
    m_otherFee->setText(cell(ColumnOtherFee));
    m_surcharge30->setText(cell(ColumnSurcharge30To50));
    m_surcharge20->setText(cell(ColumnSurcharge20To30));
    m_additionalWeight->setText(cell(ColumnAdditionalWeight));
    m_firstWeight->setText(cell(ColumnFirstWeight));
    m_region->setText(cell(ColumnRegion));
    m_id->setText(cell(ColumnId));
}

void MaintenancePage::sortByColumn(int column)
{
    // The row editor keeps working on the row it was filled from, wherever
    // the sort puts it.
    const QList<int> order = m_rows->sortByColumn(column);
    if (m_selectedRow >= 0 && !order.isEmpty())
        m_selectedRow = int(order.indexOf(m_selectedRow));
}

RowFields MaintenancePage::editorFields() const
{
    return {m_region->text(),      m_firstWeight->text(), m_additionalWeight->text(), m_surcharge20->text(),
            m_surcharge30->text(), m_otherFee->text(),    m_contact->text(),          m_arrival->text()};
}

void MaintenancePage::showEditorFields(const RowFields &fields)
{
    m_region->setText(fields.region);
    m_firstWeight->setText(fields.firstWeight);
    m_additionalWeight->setText(fields.additionalWeight);
    m_surcharge20->setText(fields.surcharge20To30);
    m_surcharge30->setText(fields.surcharge30To50);
    m_otherFee->setText(fields.otherFee);
    m_contact->setText(fields.contact);
    m_arrival->setText(fields.arrivalTime);
}

void MaintenancePage::writeEditorIntoRow(int row)
{
    TextTableModel *model = m_rows->table();
    QStringList cells = model->rowCells(row);
    writeRowFields(cells, editorFields());
    cells.resize(model->columnCount());
    model->setRowCells(row, std::move(cells));
}

void MaintenancePage::runUpdate(const QList<ColumnValue> &values, bool currentRowOnly)
{
    const std::optional<QString> id = currentRowOnly ? std::optional<QString>(m_id->text()) : std::nullopt;
    if (m_database.updateRows(currentTemplate(), values, id))
        Messages::show(this, Success.toString());
    else
        Messages::show(this, UpdateFailed.toString() + u"\n\n"_s + m_database.lastError(), {},
                       Messages::Icon::Critical);
}

PriceBoxes MaintenancePage::rowPriceBoxes() const
{
    return {{u"首重价格"_s, m_firstWeight},
            {u"续重价格"_s, m_additionalWeight},
            {u"20-30KG手续费"_s, m_surcharge20},
            {u"30-50手续费"_s, m_surcharge30},
            {u"其他手续费"_s, m_otherFee}};
}

PriceBoxes MaintenancePage::levelPriceBoxes() const
{
    const QStringList names{u"首重价格增加"_s, u"续重价格增加"_s, u"20-30KG增加"_s, u"30-50KG增加"_s,
                            u"其他手续费增加"_s};
    PriceBoxes boxes;
    for (int f = 0; f < PriceFieldCount; ++f)
        boxes.append({names.at(f), m_levelPrices.at(f)});
    return boxes;
}

void MaintenancePage::changeRow()
{
    if (!ensureRowSelected() || !checkPriceBoxes(this, rowPriceBoxes()))
        return;
    writeEditorIntoRow(m_selectedRow);
    // Every column but the ID, as the list shows it.
    const QStringList columns = m_rows->table()->columns();
    const QStringList cells = cellsToStore(m_rows->table()->rowCells(m_selectedRow), RowWrite::Change);
    QList<ColumnValue> values;
    for (int c = 1; c < columns.size(); ++c)
        values.append({columns.at(c), cells.at(c)});
    runUpdate(values, true);
}

void MaintenancePage::addRow()
{
    if (!ensureTemplateChosen() || !checkPriceBoxes(this, rowPriceBoxes()))
        return;
    const QString previousId = m_id->text();
    QStringList ids;
    for (int row = 0; row < m_rows->rowCount(); ++row)
        ids << m_rows->cell(row, ColumnId);
    m_id->setText(QString::number(nextRowId(ids)));
    if (m_region->text().isEmpty()) {
        Messages::show(this, u"亲！您还没有输入市区名称o(∩_∩)o "_s);
        m_id->setText(previousId);
        return;
    }
    const RowFields fields = withNewRowDefaults(editorFields());
    showEditorFields(fields);

    const QStringList columns = m_rows->table()->columns();
    const QStringList cells = newRow(int(columns.size()), m_id->text(), fields);
    m_rows->table()->appendRow(cells);
    const int row = m_rows->rowCount() - 1;
    m_selectedRow = row;
    m_rows->setCurrentRow(row);
    m_rows->scrollTo(m_rows->table()->index(row, 0));

    if (!m_database.insertRow(currentTemplate(), columns, cellsToStore(cells, RowWrite::Add))) {
        // The list shows what the template holds: the row was not stored.
        m_rows->table()->removeRowAt(row);
        m_selectedRow = -1;
        m_id->setText(previousId);
        Messages::show(this, u"保存失败，请查看快递模板是否重名！\n\n"_s + m_database.lastError(), u"提示"_s,
                       Messages::Icon::Critical);
        return;
    }
    Messages::show(this, u"增加成功！"_s);
}

void MaintenancePage::deleteRow()
{
    if (!ensureRowSelected())
        return;
    if (!m_database.deleteRows(currentTemplate(), m_id->text())) {
        Messages::show(this, u"删除失败！\n\n"_s + m_database.lastError(), {}, Messages::Icon::Critical);
        return;
    }
    m_rows->table()->removeRowAt(m_selectedRow);
    m_selectedRow = -1;
    m_rows->setCurrentRow(-1);
    Messages::show(this, u"删除成功"_s);
}

void MaintenancePage::chooseStarLevel()
{
    const int level = qMax(0, m_level->currentIndex());
    m_levelColumns.clear();
    for (int f = 0; f < PriceFieldCount; ++f) {
        const int column = priceSetColumnIndex(level, f);
        m_levelColumns << column;
        QLineEdit *box = m_levelPrices.at(f);
        // The base set is not edited here: it shows "0" and writes "0".
        box->setEnabled(level != 0);
        box->setText(level == 0 ? u"0"_s : m_rows->cell(m_selectedRow, column));
    }
}

QList<ColumnValue> MaintenancePage::levelPriceValues() const
{
    const QString level = m_level->currentText();
    QList<ColumnValue> values;
    for (int f = 0; f < PriceFieldCount; ++f)
        values.append({level + priceFieldNames().at(f), m_levelPrices.at(f)->text()});
    return values;
}

void MaintenancePage::setLevelPricesOfCurrentRow()
{
    if (!ensureRowSelected() || !checkPriceBoxes(this, levelPriceBoxes()))
        return;
    for (int f = 0; f < PriceFieldCount; ++f)
        m_rows->table()->setCell(m_selectedRow, m_levelColumns.at(f), m_levelPrices.at(f)->text());
    runUpdate(levelPriceValues(), true);
}

void MaintenancePage::setLevelPricesOfAllRows()
{
    if (!ensureTemplateChosen() || !checkPriceBoxes(this, levelPriceBoxes()))
        return;
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        for (int f = 0; f < PriceFieldCount; ++f)
            m_rows->table()->setCell(row, m_levelColumns.at(f), m_levelPrices.at(f)->text());
    }
    runUpdate(levelPriceValues(), false);
}

void MaintenancePage::setContactOfCurrentRow()
{
    if (!ensureRowSelected())
        return;
    m_rows->table()->setCell(m_selectedRow, ColumnContact, m_contact->text());
    runUpdate({{RateColumns().at(ColumnContact), m_contact->text()}}, true);
}

void MaintenancePage::setContactOfAllRows()
{
    if (!ensureTemplateChosen())
        return;
    for (int row = 0; row < m_rows->rowCount(); ++row)
        m_rows->table()->setCell(row, ColumnContact, m_contact->text());
    runUpdate({{RateColumns().at(ColumnContact), m_contact->text()}}, false);
}

void MaintenancePage::renameTemplate()
{
    if (!ensureTemplateChosen())
        return;
    const QString oldName = currentTemplate();
    const QString newName = m_newName->text();
    if (const QString problem = checkTemplateName(newName); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (newName == oldName) {
        Messages::show(this, u"模板名称没有改变"_s, u"提示"_s);
        return;
    }
    if (!Messages::confirm(this, u"原来模板名称为"_s + oldName + u"要修改为"_s + newName, u"警告"_s))
        return;
    if (!m_database.renameTemplate(oldName, newName)) {
        Messages::show(this, u"修改失败，请查看是否已有同名的快递模板！\n\n"_s + m_database.lastError(),
                       u"提示"_s, Messages::Icon::Critical);
        return;
    }
    Messages::show(this, u"修改成功！"_s);
    const QSignalBlocker blocker(m_templates);
    m_templates->setItemText(m_templates->currentIndex(), newName);
    m_listGroup->setTitle(newName);
    Q_EMIT templateRenamed(newName);
}

void MaintenancePage::deleteTemplate()
{
    if (!ensureTemplateChosen())
        return;
    const QString name = currentTemplate();
    if (!Messages::confirm(
            this,
            u"确定要删除模板“%1”（%2 行）吗？\n\n删除前会自动备份，可在“设置”→“恢复备份…”中找回。"_s.arg(name)
                .arg(m_rows->rowCount()),
            u"删除模板"_s))
        return;
    if (!m_database.deleteTemplate(name)) {
        Messages::show(this, u"删除失败\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    Messages::show(this, u"删除成功"_s);
    Q_EMIT templatesChanged();
}

void MaintenancePage::replaceTemplate()
{
    if (!ensureTemplateChosen())
        return;
    const QString name = currentTemplate();
    const QString path = chooseWorkbookFile(this);
    if (path.isEmpty())
        return;
    Workbook workbook;
    if (!workbook.open(path)) {
        Messages::show(this, workbook.failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return;
    }
    QString sheetName = workbook.sheetNames().value(0);
    if (workbook.sheetNames().size() > 1) {
        bool chosen = false;
        sheetName = QInputDialog::getItem(this, u"用表格替换"_s, u"选择工作表"_s, workbook.sheetNames(), 0,
                                          false, &chosen);
        if (!chosen)
            return;
    }
    const std::optional<TextTable> sheet = workbook.readSheet(sheetName);
    if (!sheet) {
        Messages::show(this, workbook.failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (const QString problem = newTemplateSizeProblem(*sheet); !problem.isEmpty()) {
        Messages::show(this, problem, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    const RateSheet rates = readRateSheet(*sheet);
    if (!rates.problems.isEmpty()) {
        Messages::show(this, u"表格不能用来替换模板：\n\n"_s + rates.problems.join(u'\n'), u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    // New surcharges, fee and contact as the template's first row has them.
    const TextTable grid = newTemplateGrid(
        rates, {m_rows->cell(0, ColumnSurcharge20To30), m_rows->cell(0, ColumnSurcharge30To50),
                m_rows->cell(0, ColumnOtherFee), m_rows->cell(0, ColumnContact)});
    if (!Messages::confirm(
            this,
            u"用“%1”的 %2 行替换模板“%3”现有的 %4 行吗？\n\n名称和计费规则不变，替换前会自动备份。"_s
                .arg(QFileInfo(path).fileName())
                .arg(grid.rows.size())
                .arg(name)
                .arg(m_rows->rowCount()),
            u"用表格替换"_s))
        return;
    if (!m_database.replaceTemplate(name, grid.columns, grid.rows)) {
        Messages::show(this, u"替换失败\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    if (const std::optional<BillingRules> rules = exportedBillingRules(path))
        m_database.setBillingRules(name, *rules);
    Messages::show(this, u"替换成功"_s);
    chooseTemplate();
}

void MaintenancePage::exportTemplate()
{
    if (!ensureTemplateChosen())
        return;
    const QString name = currentTemplate();
    const QString path = Messages::chooseSaveFile(
        this, u"导出模板"_s, u"Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"_s, name + u".xlsx"_s);
    if (path.isEmpty())
        return;
    const std::optional<TextTable> table = m_database.readTemplate(name);
    const std::optional<BillingRules> rules = m_database.billingRules(name);
    if (!table || !rules) {
        Messages::show(this, m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    if (const QString error = writeTableFile(path, templateSheets(name, *table, *rules)); !error.isEmpty()) {
        Messages::show(this, error, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    Messages::show(this, u"导出成功"_s);
}

} // namespace Kuaidi
