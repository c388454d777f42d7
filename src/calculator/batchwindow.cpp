#include "batchwindow.h"

#include <batch/batchquote.h>
#include <batch/tablefile.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>
#include <widgets/reportlist.h>
#include <widgets/sheetsource.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int QuoteMode = 0;
const auto FolderKey = "batch/lastFolder"_L1;

} // namespace

// What a run hands back to the window: the tables to show and export, the
// cells to mark, or why there is nothing.
struct BatchWindow::Outcome
{
    QString error;
    bool cancelled = false;
    QList<OutputSheet> sheets;        // the result, then its summary
    QList<std::pair<int, int>> best;  // the cheapest fees
    QList<std::pair<int, int>> alarm; // overcharges
};

BatchWindow::BatchWindow(RateDatabase *database, QWidget *parent)
    : QWidget(parent, Qt::Window), m_database(database)
{
    setObjectName(u"batchWindow"_s);
    setWindowTitle(u"批量报价与对账"_s);
    resize(960, 600);

    auto *form = new QFormLayout;
    auto *fileRow = new QHBoxLayout;
    m_file = new QLineEdit(this);
    m_file->setObjectName(u"batchFile"_s);
    m_file->setReadOnly(true);
    m_file->setPlaceholderText(u"订单表或账单（.xlsx、.xls、.csv）"_s);
    auto *browse = new QPushButton(u"选择文件…"_s, this);
    browse->setObjectName(u"batchBrowse"_s);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    form->addRow(u"文件"_s, fileRow);
    m_sheet = new QComboBox(this);
    m_sheet->setObjectName(u"batchSheet"_s);
    // Choosers as wide as their texts, not as the window.
    const auto narrow = [](QWidget *chooser) {
        auto *row = new QHBoxLayout;
        row->addWidget(chooser);
        row->addStretch(1);
        return row;
    };
    m_sheet->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_sheet->setMinimumWidth(160);
    form->addRow(u"工作表"_s, narrow(m_sheet));

    auto *modeRow = new QHBoxLayout;
    m_mode = new QComboBox(this);
    m_mode->setObjectName(u"batchMode"_s);
    m_mode->addItems({u"批量报价"_s, u"对账"_s});
    m_template = new QComboBox(this);
    m_template->setObjectName(u"batchTemplate"_s);
    m_template->setAccessibleName(u"对账模板"_s);
    auto *templateLabel = new QLabel(u"对账模板"_s, this);
    templateLabel->setBuddy(m_template);
    modeRow->addWidget(m_mode);
    modeRow->addWidget(templateLabel);
    modeRow->addWidget(m_template);
    modeRow->addStretch(1);
    form->addRow(u"方式"_s, modeRow);
    m_level = new QComboBox(this);
    m_level->setObjectName(u"batchLevel"_s);
    m_level->addItems(levelNames());
    form->addRow(u"收费级别"_s, narrow(m_level));

    auto *actions = new QHBoxLayout;
    m_run = new QPushButton(u"开始"_s, this);
    m_run->setObjectName(u"batchRun"_s);
    m_cancel = new QPushButton(u"取消"_s, this);
    m_cancel->setObjectName(u"batchCancel"_s);
    m_export = new QPushButton(u"导出…"_s, this);
    m_export->setObjectName(u"batchExport"_s);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"batchProgress"_s);
    m_progress->setAccessibleName(u"进度"_s);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    actions->addWidget(m_run);
    actions->addWidget(m_cancel);
    actions->addWidget(m_progress, 1);
    actions->addWidget(m_export);

    m_results = new ReportList(this);
    m_results->setObjectName(u"batchResults"_s);
    m_results->setAccessibleName(u"结果"_s);
    m_summary = new QLabel(this);
    m_summary->setObjectName(u"batchSummary"_s);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(actions);
    layout->addWidget(m_results, 1);
    layout->addWidget(m_summary);

    // Label buddies, so that every input has an accessible name.
    for (int row = 0; row < form->rowCount(); ++row) {
        auto *label = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)
                                                 ? form->itemAt(row, QFormLayout::LabelRole)->widget()
                                                 : nullptr);
        if (!label)
            continue;
        QLayoutItem *field = form->itemAt(row, QFormLayout::FieldRole);
        QWidget *widget = field->widget() ? field->widget() : field->layout()->itemAt(0)->widget();
        label->setBuddy(widget);
        widget->setAccessibleName(label->text());
    }

    connect(browse, &QPushButton::clicked, this, &BatchWindow::chooseFile);
    connect(m_mode, &QComboBox::currentIndexChanged, this, &BatchWindow::modeChanged);
    connect(m_run, &QPushButton::clicked, this, &BatchWindow::start);
    connect(m_cancel, &QPushButton::clicked, this, &BatchWindow::cancel);
    connect(m_export, &QPushButton::clicked, this, &BatchWindow::exportResult);
    connect(m_results, &ReportList::headerClicked, m_results, &ReportList::sortByColumn);

    m_template->addItems(m_database->templateNames());
    modeChanged();
    setRunning(false);
}

BatchWindow::~BatchWindow()
{
    // A run still going is cancelled and waited for; its result, queued to
    // this window, is dropped with it.
    cancel();
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

QString BatchWindow::lastFolder() const
{
    return QSettings().value(FolderKey).toString();
}

void BatchWindow::rememberFolder(const QString &path)
{
    QSettings().setValue(FolderKey, QFileInfo(path).absolutePath());
}

void BatchWindow::chooseFile()
{
    const QString path = chooseWorkbookFile(this, u"选择订单表或账单"_s, lastFolder());
    if (!path.isEmpty())
        openFile(path);
}

bool BatchWindow::openFile(const QString &path)
{
    Workbook workbook;
    if (!workbook.open(path)) {
        Messages::show(this, workbook.failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return false;
    }
    rememberFolder(path);
    m_file->setText(QDir::toNativeSeparators(path));
    m_sheet->clear();
    m_sheet->addItems(workbook.sheetNames());
    return true;
}

void BatchWindow::modeChanged()
{
    m_template->setEnabled(m_mode->currentIndex() != QuoteMode && !isRunning());
}

void BatchWindow::setRunning(bool running)
{
    for (QWidget *input : {static_cast<QWidget *>(m_run), static_cast<QWidget *>(m_sheet),
                           static_cast<QWidget *>(m_mode), static_cast<QWidget *>(m_level)})
        input->setEnabled(!running);
    m_template->setEnabled(!running && m_mode->currentIndex() != QuoteMode);
    m_cancel->setEnabled(running);
    m_export->setEnabled(!running && m_outcome);
}

void BatchWindow::start()
{
    if (isRunning())
        return;
    if (m_file->text().isEmpty()) {
        Messages::show(this, u"请先选择订单表或账单文件"_s, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    const bool quoting = m_mode->currentIndex() == QuoteMode;
    const QStringList names = quoting ? m_database->templateNames() : QStringList{m_template->currentText()};
    if (names.isEmpty() || names.first().isEmpty()) {
        Messages::show(this, quoting ? u"还没有快递模板"_s : u"请选择对账的快递模板"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    QStringList failed;
    const QList<std::shared_ptr<const TemplateRows>> rows = m_database->templateRows(names, &failed);
    const std::optional<QHash<QString, BillingRules>> rules = m_database->billingRulesOfAll();
    if (!failed.isEmpty() || !rules) {
        Messages::show(this, m_database->lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }

    m_outcome.reset();
    m_results->setColumns({});
    m_summary->clear();
    m_progress->setValue(0);
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    auto pricer = std::make_shared<OrderPricer>(rows, *rules, levelIndex(m_level->currentText()));
    const QString path = QDir::fromNativeSeparators(m_file->text());
    const QString sheet = m_sheet->currentText();
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    const BatchProgress progress = [this, cancelled](qsizetype done, qsizetype total) {
        QMetaObject::invokeMethod(
            this, [this, done, total] { progressed(done, total); }, Qt::QueuedConnection);
        return !*cancelled;
    };
    m_worker = QThread::create([this, path, sheet, quoting, pricer, progress] {
        auto outcome = std::make_shared<Outcome>();
        const OrderSheetResult orders = readOrderSheet(path, sheet, !quoting);
        if (!orders.sheet) {
            outcome->error = orders.error;
        } else if (quoting) {
            const QStringList names = pricer->templateNames();
            if (const std::optional<QList<BatchLine>> lines = priceOrders(*orders.sheet, *pricer, progress)) {
                const int fees = 3; // the first template's column
                outcome->sheets = batchSheets(*orders.sheet, *lines, names);
                for (int r = 0; r < lines->size(); ++r) {
                    for (const int t : lines->at(r).cheapest)
                        outcome->best.append({r, fees + t});
                }
            } else {
                outcome->cancelled = true;
            }
        } else if (const std::optional<QList<BillCheck>> checks =
                       ReconcileBill(*orders.sheet, *pricer, 0, 0.01, progress)) {
            const int width = int(orders.sheet->titles.size());
            outcome->sheets = reconcileSheets(*orders.sheet, *checks);
            for (int r = 0; r < checks->size(); ++r) {
                if (checks->at(r).verdict == Verdict::Overcharged)
                    outcome->alarm << std::pair{r, width + 1} << std::pair{r, width + 2};
            }
        } else {
            outcome->cancelled = true;
        }
        QMetaObject::invokeMethod(
            this, [this, outcome] { finished(outcome); }, Qt::QueuedConnection);
    });
    setRunning(true);
    m_worker->start();
}

void BatchWindow::cancel()
{
    if (m_cancelled)
        *m_cancelled = true;
}

void BatchWindow::progressed(qint64 done, qint64 total)
{
    if (total > 0)
        m_progress->setValue(int(done * 100 / total));
}

void BatchWindow::finished(const std::shared_ptr<Outcome> &outcome)
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    m_cancelled.reset();
    setRunning(false);
    if (!outcome->error.isEmpty()) {
        m_progress->setValue(0);
        Messages::show(this, outcome->error, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (outcome->cancelled) {
        m_progress->setValue(0);
        m_summary->setText(u"已取消"_s);
        return;
    }
    m_outcome = outcome;
    const TextTable &table = outcome->sheets.at(0).table;
    m_results->setColumns(table.columns);
    m_results->table()->setRows(table.rows);
    m_results->table()->setCellTones(outcome->best, TextTableModel::Tone::Best);
    m_results->table()->setCellTones(outcome->alarm, TextTableModel::Tone::Alarm);
    m_results->fitColumnsToContents();
    QStringList lines{outcome->sheets.at(1).table.columns.join(u"  ")};
    for (const QStringList &row : outcome->sheets.at(1).table.rows)
        lines << row.join(u"  ");
    m_summary->setText(lines.join(u'\n'));
    m_progress->setValue(100);
    setRunning(false);
}

void BatchWindow::exportResult()
{
    if (!m_outcome)
        return;
    const QString suggested = QDir(lastFolder()).filePath(m_outcome->sheets.at(0).name + u".xlsx"_s);
    const QString path = Messages::chooseSaveFile(this, u"导出结果"_s,
                                                  u"Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"_s, suggested);
    if (path.isEmpty())
        return;
    rememberFolder(path);
    // The table as sorted on screen.
    QList<OutputSheet> sheets = m_outcome->sheets;
    TextTable &result = sheets[0].table;
    result.rows.clear();
    for (int r = 0; r < m_results->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_results->columnCount(); ++c)
            cells << m_results->cell(r, c);
        result.rows << cells;
    }
    if (const QString error = writeTableFile(path, sheets); !error.isEmpty()) {
        Messages::show(this, error, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    Messages::show(this, u"导出成功"_s, u"提示"_s, Messages::Icon::Information);
}

} // namespace Kuaidi
