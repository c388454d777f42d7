#include "maintenancepage.h"

#include <widgets/messages.h>
#include <widgets/priceinput.h>
#include <widgets/reportlist.h>
#include <widgets/sheetsource.h>

#include <batch/tablefile.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <templates/ratesheet.h>
#include <templates/replaceplan.h>
#include <templates/templategrid.h>

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace Kuaidi {

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
    const std::optional<TextTable> current = m_database.readTemplate(name);
    const std::optional<BillingRules> currentRules = m_database.billingRules(name);
    if (!current || !currentRules) {
        Messages::show(this, m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    // New rows take the surcharges and fee of the template's first row; rows
    // of regions it has keep their contact and star levels where the sheet
    // brings none.
    const Replacement plan =
        planReplacement(rates,
                        {m_rows->cell(0, ColumnSurcharge20To30), m_rows->cell(0, ColumnSurcharge30To50),
                         m_rows->cell(0, ColumnOtherFee), QString()},
                        *current);
    if (!Messages::confirm(
            this,
            u"用“%1”的 %2 行替换模板“%3”现有的 %4 行吗？\n\n%5\n\n名称和计费规则不变，替换前会自动备份。"_s
                .arg(QFileInfo(path).fileName())
                .arg(plan.grid.rows.size())
                .arg(name)
                .arg(current->rows.size())
                .arg(plan.summary()),
            u"用表格替换"_s))
        return;
    // An export brings its rules; another sheet changes only what its
    // headings say. Rows and rules are stored together or not at all.
    const BillingRules rules = exportedBillingRules(path).value_or(rates.rules.appliedTo(*currentRules));
    if (!m_database.replaceTemplate(name, plan.grid.columns, plan.grid.rows,
                                    rules != *currentRules ? std::optional(rules) : std::nullopt)) {
        Messages::show(this, u"替换失败\n\n"_s + m_database.lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    const QStringList notes = m_database.notes();
    Messages::show(this, notes.isEmpty() ? u"替换成功"_s : u"替换成功\n\n"_s + notes.join(u'\n'));
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
