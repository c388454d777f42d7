#pragma once

#include <QDialog>
#include <QHash>
#include <QStringList>

class QComboBox;

namespace Kuaidi {

/// Lets the seller say by hand what a sheet's headings are, where the
/// headings alone do not say it: one choice per heading, "按表头识别" to
/// leave it to the heading, or a template column, or "不使用".
class ColumnMappingDialog final : public QDialog
{
    Q_OBJECT

public:
    /// @p readAs says what each of @p headings was read as ("" for nothing);
    /// @p chosen holds the choices made before.
    ColumnMappingDialog(const QStringList &headings, const QStringList &readAs,
                        const QHash<QString, QString> &chosen, QWidget *parent = nullptr);

    /// The headings given a column by hand, by their text.
    QHash<QString, QString> mapping() const;

private:
    QStringList m_headings;
    QList<QComboBox *> m_choices;
};

} // namespace Kuaidi
