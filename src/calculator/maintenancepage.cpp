#include "maintenancepage.h"

#include "billingrulesform.h"
#include "weightpriceboxes.h"

#include <widgets/messages.h>
#include <widgets/named.h>
#include <widgets/priceinput.h>
#include <widgets/reportlist.h>

#include <core/billingrules.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <templates/rowrules.h>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
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
    auto *chooseLabel = new QLabel(u"1.选择欲修改快递模板名称"_s, this);
    chooseLabel->setBuddy(m_templates);
    auto *top = new QHBoxLayout;
    top->addWidget(chooseLabel);
    top->addWidget(m_templates);
    m_filter = named<QLineEdit>(u"编辑框_筛选"_s, this);
    m_filter->setPlaceholderText(u"输入地区、价格等筛选下面的行"_s);
    m_filter->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(u"筛选"_s, this);
    filterLabel->setBuddy(m_filter);
    top->addWidget(filterLabel);
    top->addWidget(m_filter, 1);
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
    m_rows->setToolTip(u"单击或用方向键选中一行，把它的内容放到下面的编辑框里；单击列标题排序"_s);
    (new QVBoxLayout(m_listGroup))->addWidget(m_rows);

    // Template name.
    auto *nameGroup = new QGroupBox(u"此快递模板总参数修改"_s, this);
    m_newName = named<QLineEdit>(u"编辑框14"_s, nameGroup);
    auto *rename = named<QPushButton>(u"按钮8"_s, u"确定修改"_s, nameGroup);
    auto *nameLayout = new QHBoxLayout(nameGroup);
    auto *nameLabel = new QLabel(u"模版名称"_s, nameGroup);
    nameLabel->setBuddy(m_newName);
    nameLayout->addWidget(nameLabel);
    nameLayout->addWidget(m_newName, 1);
    nameLayout->addWidget(rename);

    // Contact.
    auto *contactGroup = new QGroupBox(u"联系方式修改"_s, this);
    m_contact = named<QLineEdit>(u"编辑框_联系方式"_s, contactGroup);
    m_contact->setAccessibleName(u"联系方式"_s);
    auto *contactCurrent = named<QPushButton>(u"按钮16"_s, u"修改当前"_s, contactGroup);
    auto *contactAll = named<QPushButton>(u"按钮11"_s, u"全部修改"_s, contactGroup);
    auto *contactLayout = new QHBoxLayout(contactGroup);
    contactLayout->addWidget(m_contact, 1);
    contactLayout->addWidget(contactCurrent);
    contactLayout->addWidget(contactAll);

    auto *editors = new QHBoxLayout;
    editors->addWidget(createRowGroup(), 3);
    editors->addWidget(createLevelGroup(), 2);
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
    // A row is loaded as soon as it is chosen, by mouse or keyboard.
    connect(m_rows, &ReportList::rowRightClicked, this, &MaintenancePage::selectRow);
    connect(m_rows->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.row() != m_selectedRow)
                    selectRow(current.row());
            });
    connect(m_rows, &ReportList::headerClicked, this, &MaintenancePage::sortByColumn);
    connect(m_filter, &QLineEdit::textChanged, this, &MaintenancePage::filterRows);
    connect(contactCurrent, &QPushButton::clicked, this, &MaintenancePage::setContactOfCurrentRow);
    connect(contactAll, &QPushButton::clicked, this, &MaintenancePage::setContactOfAllRows);
    connect(rename, &QPushButton::clicked, this, &MaintenancePage::renameTemplate);
    connect(replaceButton, &QPushButton::clicked, this, &MaintenancePage::replaceTemplate);
    connect(exportButton, &QPushButton::clicked, this, &MaintenancePage::exportTemplate);
    connect(deleteButton, &QPushButton::clicked, this, &MaintenancePage::deleteTemplate);

    chooseStarLevel();
}

// The row editor: the described boxes, then the row's prices by weight.
QGroupBox *MaintenancePage::createRowGroup()
{
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
        auto *label = new QLabel(fields.at(i).first, rowGroup);
        label->setBuddy(fields.at(i).second);
        rowGrid->addWidget(label, i / 2, (i % 2) * 2);
        rowGrid->addWidget(fields.at(i).second, i / 2, (i % 2) * 2 + 1);
    }
    m_weightPrices = named<WeightPriceBoxes>(u"面板_按重量计价"_s, rowGroup);
    m_weightPrices->setToolTip(u"按重量段、价格区间计价的价格和最低收费；段和区间在下面的“计费规则”中设置"_s);
    rowGrid->addWidget(m_weightPrices, 4, 0, 1, 4);
    auto *change = named<QPushButton>(u"按钮5"_s, u"修改"_s, rowGroup);
    auto *add = named<QPushButton>(u"按钮6"_s, u"增加"_s, rowGroup);
    auto *remove = named<QPushButton>(u"按钮7"_s, u"删除"_s, rowGroup);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(change);
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowGrid->addLayout(rowButtons, 5, 0, 1, 4);
    connect(change, &QPushButton::clicked, this, &MaintenancePage::changeRow);
    connect(add, &QPushButton::clicked, this, &MaintenancePage::addRow);
    connect(remove, &QPushButton::clicked, this, &MaintenancePage::deleteRow);
    return rowGroup;
}

QGroupBox *MaintenancePage::createLevelGroup()
{
    auto *levelGroup = new QGroupBox(u"会员设置"_s, this);
    m_level = new QComboBox(levelGroup);
    m_level->setObjectName(u"组合框2"_s);
    m_level->setAccessibleName(u"会员级别"_s);
    m_level->addItems(levelNames());
    auto *levelGrid = new QGridLayout(levelGroup);
    levelGrid->addWidget(m_level, 0, 0, 1, 3);
    const QStringList priceLabels{u"首重价格"_s, u"续重价格"_s, u"20-30KG"_s, u"30-50KG"_s, u"其他手续费"_s};
    for (int f = 0; f < PriceFieldCount; ++f) {
        auto *box = named<QLineEdit>(u"编辑框%1"_s.arg(15 + f), levelGroup);
        box->setMaximumWidth(70);
        box->setAccessibleName(priceLabels.at(f) + u"增加"_s);
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
    connect(m_level, &QComboBox::currentIndexChanged, this, &MaintenancePage::chooseStarLevel);
    connect(levelCurrent, &QPushButton::clicked, this, &MaintenancePage::setLevelPricesOfCurrentRow);
    connect(levelAll, &QPushButton::clicked, this, &MaintenancePage::setLevelPricesOfAllRows);
    return levelGroup;
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
    Messages::show(this, u"请先在列表中选择一条记录"_s, u"提示"_s, Messages::Icon::Warning);
    return false;
}

void MaintenancePage::chooseTemplate()
{
    m_chosenIndex = m_templates->currentIndex();
    const QString name = currentTemplate();
    m_listGroup->setTitle(name.isEmpty() ? u"未命名快递公司模板"_s : name);
    m_newName->setText(name);
    // Nothing of another courier's row stays in the boxes.
    selectRow(-1);
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
    if (const std::optional<BillingRules> rules = m_database.billingRules(name))
        showBillingRules(*rules);
    if (!reloadRows())
        return;
    m_rows->fitColumnsToContents();
    chooseStarLevel();
}

bool MaintenancePage::reloadRows()
{
    std::optional<TextTable> table = m_database.readTemplate(currentTemplate());
    if (!table) {
        Messages::show(this, u"查询信息失败！\n\n"_s + m_database.lastError(), u"失败"_s,
                       Messages::Icon::Critical);
        return false;
    }
    for (QStringList &row : table->rows) {
        for (QString &cell : row)
            cell = cell.trimmed();
    }
    const QString loadedId = m_selectedRow >= 0 ? m_id->text() : QString();
    if (table->columns != m_rows->table()->columns()) {
        const QList<int> widths(table->columns.size(), 50);
        m_rows->setColumns(table->columns, widths);
    }
    m_selectedRow = -1;
    m_rows->table()->setRows(std::move(table->rows));
    filterRows();
    if (!loadedId.isEmpty())
        selectRow(rowOfId(loadedId));
    return true;
}

int MaintenancePage::rowOfId(const QString &id) const
{
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        if (m_rows->cell(row, ColumnId) == id)
            return row;
    }
    return -1;
}

void MaintenancePage::selectRow(int row)
{
    m_selectedRow = row < m_rows->rowCount() ? row : -1;
    m_rows->setCurrentRow(m_selectedRow);
    const auto cell = [this](int column) {
        return m_selectedRow < 0 ? QString() : m_rows->cell(m_selectedRow, column);
    };
    m_arrival->setText(cell(ColumnArrivalTime));
    m_contact->setText(cell(ColumnContact));
    m_otherFee->setText(cell(ColumnOtherFee));
    m_surcharge30->setText(cell(ColumnSurcharge30To50));
    m_surcharge20->setText(cell(ColumnSurcharge20To30));
    m_additionalWeight->setText(cell(ColumnAdditionalWeight));
    m_firstWeight->setText(cell(ColumnFirstWeight));
    m_region->setText(cell(ColumnRegion));
    m_id->setText(cell(ColumnId));
    if (m_selectedRow < 0)
        m_weightPrices->clear();
    else
        m_weightPrices->showRow(m_rows->table()->columns(), m_rows->table()->rowCells(m_selectedRow));
}

void MaintenancePage::filterRows()
{
    const QString text = m_filter->text().trimmed();
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        const QStringList cells = m_rows->table()->rowCells(row);
        const bool shown =
            text.isEmpty() || std::any_of(cells.cbegin(), cells.cend(), [&text](const QString &c) {
                return c.contains(text, Qt::CaseInsensitive);
            });
        m_rows->setRowHidden(row, QModelIndex(), !shown);
    }
}

void MaintenancePage::sortByColumn(int column)
{
    // The row editor keeps working on the row it was filled from, wherever
    // the sort puts it.
    const QList<int> order = m_rows->sortByColumn(column);
    if (m_selectedRow >= 0 && !order.isEmpty())
        m_selectedRow = int(order.indexOf(m_selectedRow));
    filterRows();
    if (m_selectedRow >= 0)
        m_rows->setCurrentRow(m_selectedRow);
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
    const QStringList columns = model->columns();
    for (const ColumnValue &price : m_weightPrices->values()) {
        if (const qsizetype at = columns.indexOf(price.column); at >= 0)
            cells[at] = price.value;
    }
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
    return PriceBoxes{{u"首重价格"_s, m_firstWeight},
                      {u"续重价格"_s, m_additionalWeight},
                      {u"20-30KG手续费"_s, m_surcharge20},
                      {u"30-50手续费"_s, m_surcharge30},
                      {u"其他手续费"_s, m_otherFee}} +
           m_weightPrices->boxes();
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
    // Every column but the ID, as the list shows it, and the prices by
    // weight, whose columns the template may not have yet.
    const QStringList columns = m_rows->table()->columns();
    const QStringList cells = cellsToStore(m_rows->table()->rowCells(m_selectedRow), RowWrite::Change);
    QList<ColumnValue> values;
    for (int c = 1; c < columns.size(); ++c)
        values.append({columns.at(c), cells.at(c)});
    bool newColumns = false;
    for (const ColumnValue &price : m_weightPrices->values()) {
        if (!columns.contains(price.column) && !price.value.isEmpty()) {
            values.append(price);
            newColumns = true;
        }
    }
    runUpdate(values, true);
    if (newColumns)
        reloadRows();
}

void MaintenancePage::addRow()
{
    if (!ensureTemplateChosen() || !checkPriceBoxes(this, rowPriceBoxes()))
        return;
    const QString previousId = m_id->text();
    QStringList ids;
    QStringList contacts;
    for (int row = 0; row < m_rows->rowCount(); ++row) {
        ids << m_rows->cell(row, ColumnId);
        contacts << m_rows->cell(row, ColumnContact);
    }
    m_id->setText(QString::number(nextRowId(ids)));
    if (m_region->text().isEmpty()) {
        Messages::show(this, u"亲！您还没有输入市区名称o(∩_∩)o "_s);
        m_id->setText(previousId);
        return;
    }
    const RowFields fields = withNewRowDefaults(editorFields(), templateContact(contacts));
    showEditorFields(fields);

    const QStringList columns = m_rows->table()->columns();
    QStringList cells = newRow(int(columns.size()), m_id->text(), fields);
    for (const ColumnValue &price : m_weightPrices->values()) {
        if (const qsizetype at = columns.indexOf(price.column); at >= 0)
            cells[at] = price.value;
    }
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
    // The row whose ID the editor holds goes, from the database and from
    // the list alike, once the seller has seen which it is.
    const QString id = m_id->text();
    const int row = rowOfId(id);
    if (row < 0) {
        Messages::show(this, u"列表中没有 ID 为“%1”的行，请重新选择"_s.arg(id), u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    m_rows->setCurrentRow(row);
    if (!Messages::confirm(this,
                           u"确定要删除这一行吗？\n\nID %1：%2\n\n删除前会自动备份。"_s.arg(
                               id, m_rows->cell(row, ColumnRegion)),
                           u"删除"_s))
        return;
    if (!m_database.deleteRows(currentTemplate(), id)) {
        Messages::show(this, u"删除失败！\n\n"_s + m_database.lastError(), {}, Messages::Icon::Critical);
        return;
    }
    m_rows->table()->removeRowAt(row);
    selectRow(-1);
    Messages::show(this, u"删除成功"_s);
}

} // namespace Kuaidi
