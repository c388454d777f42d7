#include "sheetsource.h"

#include "messages.h"

#include <import/workbook.h>

#include <QComboBox>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString chooseWorkbookFile(QWidget *parent, const QString &caption, const QString &folder)
{
    return Messages::chooseFile(parent, caption,
                                u"表格文件 (*.xls *.xlsx *.ods *.csv *.mdb *.accdb);;所有文件 (*)"_s, folder);
}

SheetSource::SheetSource(QComboBox *chooser) : m_chooser(chooser), m_workbook(std::make_unique<Workbook>()) {}

SheetSource::~SheetSource() = default;

bool SheetSource::open(const QString &path, QWidget *parent)
{
    auto workbook = std::make_unique<Workbook>();
    if (!workbook->open(path)) {
        Messages::show(parent, workbook->failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return false;
    }
    m_workbook = std::move(workbook);
    // Read all the same, but the seller should look at those lines.
    if (const QStringList warnings = m_workbook->warnings(); !warnings.isEmpty())
        Messages::show(parent, warnings.join(u'\n'), u"提示"_s, Messages::Icon::Warning);
    const QSignalBlocker blocker(m_chooser);
    m_chooser->clear();
    m_chooser->addItems(m_workbook->sheetNames());
    m_chooser->setCurrentIndex(m_chooser->count() > 0 ? 0 : -1);
    return true;
}

std::optional<TextTable> SheetSource::currentSheet(QWidget *parent)
{
    if (m_chooser->currentIndex() < 0 || !m_workbook->isOpen())
        return std::nullopt;
    std::optional<TextTable> sheet = m_workbook->readSheet(m_chooser->currentText());
    if (!sheet)
        Messages::show(parent, m_workbook->failureMessage(), u"提示"_s, Messages::Icon::Warning);
    return sheet;
}

void SheetSource::close()
{
    m_workbook->close();
}

} // namespace Kuaidi
