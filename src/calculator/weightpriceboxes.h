#pragma once

#include <core/billingrules.h>

#include <QList>
#include <QStringList>
#include <QWidget>

class QGridLayout;
class QLineEdit;

namespace Kuaidi {

struct ColumnValue;

/// A row's prices by weight: one box for each weight bracket ("≤0.5KG"), a
/// first and an additional price for each band ("3KG以上首重"), and 最低收费,
/// as many as the template's rules name. Each box is named "编辑框_" and the
/// column it edits ("编辑框_重量段1价格").
class WeightPriceBoxes final : public QWidget
{
    Q_OBJECT

public:
    explicit WeightPriceBoxes(QWidget *parent = nullptr);

    /// Shows the boxes @p rules ask for, empty.
    void setRules(const BillingRules &rules);
    /// Fills the boxes from a row whose cells stand under @p columns; a
    /// column the row lacks leaves its box empty.
    void showRow(const QStringList &columns, const QStringList &cells);
    void clear();

    /// The boxes with their labels, for checking what was typed.
    QList<std::pair<QString, QLineEdit *>> boxes() const;
    /// Every box's column and text.
    QList<ColumnValue> values() const;

private:
    QGridLayout *m_grid = nullptr;
    QList<QLineEdit *> m_boxes;
    QStringList m_columns;
    QStringList m_labels;
};

} // namespace Kuaidi
