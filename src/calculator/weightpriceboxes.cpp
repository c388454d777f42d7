#include "weightpriceboxes.h"

#include <core/numbertext.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <widgets/named.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int BoxesALine = 4;

QString kilograms(double weight)
{
    return numberToText(weight) + u"KG"_s;
}

} // namespace

WeightPriceBoxes::WeightPriceBoxes(QWidget *parent) : QWidget(parent)
{
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(0, 0, 0, 0);
    setRules(BillingRules());
}

void WeightPriceBoxes::setRules(const BillingRules &rules)
{
    qDeleteAll(findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
    m_boxes.clear();
    m_columns.clear();
    m_labels.clear();
    const QStringList &columns = pricedColumns();
    for (int i = 0; i < qMin(rules.brackets.size(), qsizetype(MaxBrackets)); ++i) {
        m_columns << columns.at(bracketColumnIndex(i));
        m_labels << u"≤"_s + kilograms(rules.brackets.at(i));
    }
    for (int b = 0; b < qMin(rules.bandStarts.size(), qsizetype(MaxBands)); ++b) {
        const QString above = kilograms(rules.bandStarts.at(b)) + u"以上"_s;
        m_columns << columns.at(bandColumnIndex(b, FieldFirstWeight))
                  << columns.at(bandColumnIndex(b, FieldAdditionalWeight));
        m_labels << above + u"首重"_s << above + u"续重"_s;
    }
    m_columns << columns.at(ColumnMinimumFee);
    m_labels << columns.at(ColumnMinimumFee);
    for (int i = 0; i < m_columns.size(); ++i) {
        auto *box = named<QLineEdit>(u"编辑框_"_s + m_columns.at(i), this);
        box->setMaximumWidth(70);
        auto *label = new QLabel(m_labels.at(i), this);
        label->setBuddy(box);
        m_grid->addWidget(label, i / BoxesALine, (i % BoxesALine) * 2);
        m_grid->addWidget(box, i / BoxesALine, (i % BoxesALine) * 2 + 1);
        m_boxes << box;
    }
}

void WeightPriceBoxes::showRow(const QStringList &columns, const QStringList &cells)
{
    for (int i = 0; i < m_boxes.size(); ++i) {
        const qsizetype at = columns.indexOf(m_columns.at(i));
        m_boxes.at(i)->setText(at < 0 ? QString() : cells.value(at).trimmed());
    }
}

void WeightPriceBoxes::clear()
{
    for (QLineEdit *box : std::as_const(m_boxes))
        box->clear();
}

QList<std::pair<QString, QLineEdit *>> WeightPriceBoxes::boxes() const
{
    QList<std::pair<QString, QLineEdit *>> all;
    for (int i = 0; i < m_boxes.size(); ++i)
        all.append({m_labels.at(i), m_boxes.at(i)});
    return all;
}

QList<ColumnValue> WeightPriceBoxes::values() const
{
    QList<ColumnValue> all;
    for (int i = 0; i < m_boxes.size(); ++i)
        all.append({m_columns.at(i), m_boxes.at(i)->text()});
    return all;
}

} // namespace Kuaidi
