#pragma once

#include <QDialog>

class QLineEdit;

namespace Kuaidi {

/// 设置 → 数据库…: which rate database the program uses, a file or a server.
/// The connection is tried before the dialog closes; a database that cannot
/// be used keeps the dialog open with the reason.
class DatabaseDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit DatabaseDialog(const QString &current, QWidget *parent = nullptr);

    QString location() const;

    void accept() override;

private:
    QLineEdit *m_location = nullptr;
};

} // namespace Kuaidi
