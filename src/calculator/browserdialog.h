#pragma once

#include <pagefill/browserchoice.h>

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace Kuaidi {

/// 设置 → 模板编辑器的浏览器…: where the template editor shows the
/// marketplace page (a build with both browsers lets the seller choose), and
/// which of the seller's browsers it starts: the first found, or one chosen.
/// A program that does not exist keeps the dialog open with the reason.
class BrowserDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit BrowserDialog(QWidget *parent = nullptr);

    BrowserChoice choice() const;

    /// Saves the choice, unless the program chosen is no program.
    void accept() override;

private:
    void showFound();

    QRadioButton *m_embedded = nullptr;
    QRadioButton *m_own = nullptr;
    QLineEdit *m_program = nullptr;
    QLabel *m_found = nullptr;
};

} // namespace Kuaidi
