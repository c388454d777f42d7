#pragma once

#include <QList>
#include <QString>

#include <QWidget>
#include <utility>

class QComboBox;
class QLabel;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace Kuaidi {

class BillingRulesForm;
class RateDatabase;
class ReportList;
class WeightPriceBoxes;
struct BillingRules;
struct ColumnValue;
struct RowFields;

/// "修改快递公司运费模板": browse one template's rows, then change, add and
/// delete rows, set star-level prices and contacts, and rename the template.
/// Every change is written to the list and then to the database.
class MaintenancePage final : public QWidget
{
    Q_OBJECT

public:
    explicit MaintenancePage(RateDatabase &database, QWidget *parent = nullptr);

    /// Refills the template choice, keeping the chosen template when it is
    /// still there. Choosing happens only when the user picks one.
    void setTemplateNames(const QStringList &names);

    void chooseTemplate();
    /// Loads row @p row of the list into the row editor and keeps it
    /// highlighted; -1 empties the editor.
    void selectRow(int row);
    /// Shows only the rows whose cells contain the filter's text.
    void filterRows();
    void sortByColumn(int column);
    void changeRow();
    void addRow();
    void deleteRow();
    void chooseStarLevel();
    void setLevelPricesOfCurrentRow();
    void setLevelPricesOfAllRows();
    void setContactOfCurrentRow();
    void setContactOfAllRows();
    void renameTemplate();
    /// Stores the billing rules shown for the chosen template.
    void saveBillingRules();
    void deleteTemplate();
    void replaceTemplate();
    void exportTemplate();

Q_SIGNALS:
    /// A template got a new name; the other template lists may refresh.
    void templateRenamed(const QString &newName);
    /// Templates were deleted or replaced.
    void templatesChanged();

private:
    QString currentTemplate() const;
    QList<std::pair<QString, QLineEdit *>> rowPriceBoxes() const;
    QList<std::pair<QString, QLineEdit *>> levelPriceBoxes() const;
    bool ensureTemplateChosen();
    bool ensureRowSelected();
    QGroupBox *createRowGroup();
    QGroupBox *createLevelGroup();
    QGroupBox *createRulesGroup();
    void showBillingRules(const BillingRules &rules);
    /// Reads the chosen template's rows into the list again, keeping the
    /// row loaded in the editor by its ID; false (and the seller told) when
    /// it cannot be read.
    bool reloadRows();
    /// The list row holding ID @p id, or -1.
    int rowOfId(const QString &id) const;
    RowFields editorFields() const;
    void showEditorFields(const RowFields &fields);
    void writeEditorIntoRow(int row);
    QList<ColumnValue> levelPriceValues() const;
    void runUpdate(const QList<ColumnValue> &values, bool currentRowOnly);

    RateDatabase &m_database;
    int m_selectedRow = -1;
    int m_chosenIndex = -1; // the template loaded

    QComboBox *m_templates = nullptr;
    QGroupBox *m_listGroup = nullptr;
    ReportList *m_rows = nullptr;
    QLineEdit *m_id = nullptr;
    QLineEdit *m_region = nullptr;
    QLineEdit *m_firstWeight = nullptr;
    QLineEdit *m_additionalWeight = nullptr;
    QLineEdit *m_surcharge20 = nullptr;
    QLineEdit *m_surcharge30 = nullptr;
    QLineEdit *m_otherFee = nullptr;
    QLineEdit *m_arrival = nullptr;
    WeightPriceBoxes *m_weightPrices = nullptr;
    QLineEdit *m_filter = nullptr;
    QComboBox *m_level = nullptr;
    QList<QLineEdit *> m_levelPrices;
    QList<int> m_levelColumns;
    QLineEdit *m_newName = nullptr;
    QLineEdit *m_contact = nullptr;
    QGroupBox *m_rulesGroup = nullptr;
    BillingRulesForm *m_rulesForm = nullptr;
    QLabel *m_rulesStatus = nullptr;
};

} // namespace Kuaidi
