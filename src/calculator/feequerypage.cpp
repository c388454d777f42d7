#include "feequerypage.h"

#include "curvewindow.h"

#include <widgets/clearbutton.h>
#include <widgets/messages.h>
#include <widgets/named.h>
#include <widgets/reportlist.h>

#include <core/numbertext.h>
#include <core/parcelsize.h>
#include <core/schema.h>
#include <fees/feequery.h>
#include <ratedb/ratedatabase.h>

#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// 目的地名 among the result list's columns.
constexpr int DestinationColumn = 1;

const QString InitialTip = u"提示：\r\n\r\n右键单击  左侧的快递名称\r\n\r\n可以查看详细信息"_s;

// The breakdown is built with "\r\n"; the box and the clipboard use the
// platform's own line breaks.
QString nativeLineBreaks(QString text)
{
    text.replace("\r\n"_L1, "\n"_L1);
#ifdef Q_OS_WIN
    text.replace(u'\n', "\r\n"_L1);
#endif
    return text;
}

} // namespace

FeeQueryPage::FeeQueryPage(RateDatabase &database, QWidget *parent)
    : QWidget(parent), m_database(database), m_search(database)
{
    auto *group = new QGroupBox(this);
    group->setObjectName(u"分组框13"_s);

    m_weight = named<QLineEdit>(u"编辑框_货物重量"_s, group);
    m_weight->setPlaceholderText(u"例如 2.5"_s);
    m_volume = named<QLineEdit>(u"编辑框_货物体积"_s, group);
    m_volume->setPlaceholderText(u"可不填，例如 0.02"_s);
    m_volume->setToolTip(u"填写体积后，按快递模板的抛重系数计算体积重，取实重和体积重中较大的计费"_s);
    m_dimensions = named<QLineEdit>(u"编辑框_货物尺寸"_s, group);
    m_dimensions->setPlaceholderText(u"30×20×10"_s);
    m_dimensions->setToolTip(u"或者填写长×宽×高（厘米），换算成立方米填入体积"_s);
    m_dimensions->setAccessibleName(u"长×宽×高（厘米）"_s);
    m_dimensions->setMaximumWidth(110);
    m_destination = named<QLineEdit>(u"编辑框_目的地"_s, group);
    m_destination->setPlaceholderText(u"输入城市名，如 南京"_s);
    addClearButton(m_destination);
    m_compute = new QPushButton(u"计算"_s, group);
    m_compute->setObjectName(u"按钮17"_s);
    m_compute->setDefault(true);
    m_level = new QComboBox(group);
    m_level->setObjectName(u"组合框4"_s);
    m_level->addItems(levelNames());
    m_level->setCurrentIndex(0);

    auto *inputs = new QGridLayout;
    inputs->addWidget(new QLabel(u"货物重量"_s, group), 0, 0);
    inputs->addWidget(m_weight, 0, 1);
    inputs->addWidget(new QLabel(u"KG"_s, group), 0, 2);
    inputs->addWidget(new QLabel(u"货物体积"_s, group), 0, 3);
    inputs->addWidget(m_volume, 0, 4);
    auto *sides = new QHBoxLayout;
    sides->addWidget(new QLabel(u"立方米"_s, group));
    auto *sidesLabel = new QLabel(u"或 长×宽×高"_s, group);
    sidesLabel->setBuddy(m_dimensions);
    sides->addWidget(sidesLabel);
    sides->addWidget(m_dimensions);
    sides->addWidget(new QLabel(u"厘米"_s, group));
    inputs->addLayout(sides, 0, 5);
    inputs->addWidget(new QLabel(u"目的地"_s, group), 1, 0);
    inputs->addWidget(m_destination, 1, 1, 1, 2);
    inputs->addWidget(new QLabel(u"收费级别"_s, group), 1, 3);
    inputs->addWidget(m_level, 1, 4, 1, 2);
    inputs->addWidget(m_compute, 0, 6, 2, 1);
    m_curves = new QPushButton(u"运费曲线"_s, group);
    m_curves->setObjectName(u"按钮_运费曲线"_s);
    m_curves->setToolTip(u"各快递的运费随重量变化的曲线：哪个重量哪家最便宜"_s);
    m_curves->setMinimumHeight(48);
    inputs->addWidget(m_curves, 0, 7, 2, 1);
    m_compute->setMinimumHeight(48);
    inputs->setColumnStretch(1, 1);
    inputs->setColumnStretch(4, 1);

    auto *resultTabs = new QTabWidget(group);
    resultTabs->setObjectName(u"选择夹2"_s);
    m_results = new ReportList(resultTabs);
    m_results->setObjectName(u"超级列表框6"_s);
    m_results->setColumns(FeeQuote::titles(), {70, 60, 60, 60, 60, 90, 70, 90, 70, 60, 60});
    m_results->setToolTip(u"右键单击一行，查看费用明细；最便宜的快递以绿色标出"_s);
    resultTabs->addTab(m_results, u"下面显示已计算出的快递价格"_s);

    auto *notes = new QGroupBox(u"备注"_s, group);
    notes->setObjectName(u"分组框14"_s);
    auto *hint = new QLabel(u"鼠标右键单击左侧表格项，试试"_s, notes);
    hint->setWordWrap(true);
    m_breakdown = new QPlainTextEdit(notes);
    m_breakdown->setObjectName(u"编辑框4"_s);
    m_breakdown->setPlainText(nativeLineBreaks(InitialTip));
    m_copy = new QPushButton(u"复制"_s, notes);
    m_copy->setObjectName(u"按钮4"_s);
    auto *notesLayout = new QVBoxLayout(notes);
    notesLayout->addWidget(hint);
    notesLayout->addWidget(m_breakdown, 1);
    notesLayout->addWidget(m_copy);
    notes->setFixedWidth(190);

    auto *middle = new QHBoxLayout;
    middle->addWidget(resultTabs, 1);
    middle->addWidget(notes);

    auto *matchedTabs = new QTabWidget(group);
    matchedTabs->setObjectName(u"选择夹3"_s);
    m_matched = new ReportList(matchedTabs);
    m_matched->setObjectName(u"超级列表框5"_s);
    QStringList matchedTitles = rateColumnShortTitles();
    matchedTitles << u"快递模板名称"_s << u"匹配方式"_s;
    QList<int> matchedWidths(matchedTitles.size(), 60);
    matchedWidths[RateColumnCount] = 90;
    m_matched->setColumns(matchedTitles, matchedWidths);
    // Which courier a row is of comes first on screen; the columns keep their
    // order in the list, where the rows are read by column.
    m_matched->header()->moveSection(RateColumnCount, 0);
    matchedTabs->addTab(m_matched, u"快递信息展示栏目"_s);

    m_status = new QLabel(group);
    m_status->setObjectName(u"标签_状态"_s);
    m_status->setStyleSheet(u"color: #8a4b00;"_s);
    // One line whose text changes with every keystroke: it must never make
    // the page lay itself out again.
    // one that paints its own background, so that the frames around it are
    // not drawn again with it.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_status->setFixedHeight(m_status->fontMetrics().height() + 2);
    m_status->setAutoFillBackground(true);

    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(inputs);
    groupLayout->addWidget(m_status);
    groupLayout->addLayout(middle, 3);
    groupLayout->addWidget(matchedTabs, 2);

    // Not shown: the templates the search walks, kept in catalogue order.
    m_couriers = new ReportList(this);
    m_couriers->setObjectName(u"超级列表框4"_s);
    m_couriers->setColumns({u"快递名称"_s});
    m_couriers->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(group);

    // By keyboard: weight, destination, level, volume, 计算, results.
    setFocusProxy(m_weight);
    setTabOrder(m_weight, m_destination);
    setTabOrder(m_destination, m_level);
    setTabOrder(m_level, m_volume);
    setTabOrder(m_volume, m_dimensions);
    setTabOrder(m_dimensions, m_compute);
    setTabOrder(m_compute, m_curves);
    setTabOrder(m_compute, m_results);
    m_results->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_results->setToolTip(
        u"右键单击一行（或用方向键选中），查看费用明细；Ctrl+C 复制所选行；最便宜的快递以绿色标出"_s);

    connect(m_destination, &QLineEdit::textChanged, this, &FeeQueryPage::DestinationSearch);
    connect(m_destination, &QLineEdit::textChanged, this, &FeeQueryPage::recompute);
    connect(m_weight, &QLineEdit::textChanged, this, &FeeQueryPage::recompute);
    connect(m_volume, &QLineEdit::textChanged, this, &FeeQueryPage::recompute);
    connect(m_dimensions, &QLineEdit::textEdited, this, &FeeQueryPage::dimensionsEdited);
    // A volume typed by hand is no longer the sides'.
    connect(m_volume, &QLineEdit::textEdited, m_dimensions, &QLineEdit::clear);
    connect(m_level, &QComboBox::currentIndexChanged, this, &FeeQueryPage::recompute);
    connect(m_compute, &QPushButton::clicked, this, &FeeQueryPage::ComputeFees);
    connect(m_curves, &QPushButton::clicked, this, &FeeQueryPage::showCurves);
    // An open curve window follows the destination and the level.
    connect(m_destination, &QLineEdit::textChanged, this, &FeeQueryPage::followCurves);
    connect(m_level, &QComboBox::currentIndexChanged, this, &FeeQueryPage::followCurves);
    connect(m_weight, &QLineEdit::returnPressed, this, &FeeQueryPage::ComputeFees);
    connect(m_destination, &QLineEdit::returnPressed, this, &FeeQueryPage::ComputeFees);
    connect(m_results, &ReportList::rowRightClicked, this, &FeeQueryPage::ShowFeeBreakdown);
    // The breakdown follows the current row as the arrow keys move it.
    connect(m_results->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && m_results->hasFocus())
                    ShowFeeBreakdown();
            });
    connect(m_copy, &QPushButton::clicked, this, &FeeQueryPage::CopyFeeBreakdown);
}

void FeeQueryPage::setCourierNames(const QStringList &names)
{
    QList<QStringList> rows;
    for (const QString &name : names)
        rows.append({name});
    m_couriers->table()->setRows(rows);
}

QStringList FeeQueryPage::courierNames() const
{
    QStringList names;
    for (int r = 0; r < m_couriers->rowCount(); ++r)
        names << m_couriers->cell(r, 0);
    return names;
}

void FeeQueryPage::clearDestination()
{
    m_destination->clear();
}

void FeeQueryPage::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setToolTip(text); // all of it, where one line cuts it short
}

void FeeQueryPage::DestinationSearch()
{
    m_search.search(m_destination->text());
    showMatches();
}

void FeeQueryPage::showMatches()
{
    // The templates searched are those the database holds now.
    if (m_search.templates() != courierNames())
        setCourierNames(m_search.templates());
    const MatchedRows &rows = m_search.rows();
    // The list makes the cells of the rows it shows, when it shows them.
    m_matched->table()->setRowSource({int(rows.size()),
                                      [&rows](int row, int column) {
                                          if (column < RateColumnCount)
                                              return rows.cell(row, column);
                                          return column == RateColumnCount ? rows.templateName(row)
                                                                           : matchKindText(rows.match(row));
                                      },
                                      {}});

    // Why first (a database server out of reach fails every template),
    // then which were skipped.
    const QString destination = m_search.destination();
    const QStringList &failed = m_search.failedTemplates();
    if (const QString why = m_search.lastError(); !failed.isEmpty() && !why.isEmpty())
        showStatus(u"%1。已跳过：%2"_s.arg(why, failed.join(u"、")));
    else if (!failed.isEmpty())
        showStatus(u"以下模板无法查询，已跳过：%1"_s.arg(failed.join(u"、")));
    else if (!why.isEmpty())
        showStatus(why);
    else if (destination.isEmpty())
        showStatus({});
    else
        showStatus(rows.isEmpty() ? u"没有找到目的地包含“%1”的快递"_s.arg(destination)
                                  : u"找到 %1 条线路，输入重量后点击“计算”"_s.arg(rows.size()));
}

void FeeQueryPage::dimensionsEdited()
{
    const QString text = m_dimensions->text();
    const std::optional<double> volume = dimensionsToCubicMetres(text);
    m_volume->setText(volume ? numberToText(*volume) : QString());
    if (!volume && !text.trimmed().isEmpty())
        showStatus(u"长×宽×高请写成 30×20×10（厘米），体积暂不计入"_s);
}

bool FeeQueryPage::readVolume(std::optional<double> &volume)
{
    volume.reset();
    if (m_volume->text().trimmed().isEmpty())
        return true;
    volume = parseNumber(m_volume->text());
    if (volume && *volume >= 0)
        return true;
    showStatus(u"请输入正确的货物体积"_s);
    Messages::show(this, u"请输入正确的货物体积（不小于 0 的数字，单位立方米），不按体积计费可以不填"_s,
                   u"提示"_s, Messages::Icon::Warning);
    m_volume->setFocus();
    return false;
}

void FeeQueryPage::showCurves()
{
    if (!m_curveWindow)
        m_curveWindow = new CurveWindow(m_database, this);
    m_curveWindow->show();
    m_curveWindow->raise();
    followCurves();
}

void FeeQueryPage::followCurves()
{
    if (!m_curveWindow || !m_curveWindow->isVisible())
        return;
    std::optional<double> volume = parseNumber(m_volume->text());
    if (volume && *volume < 0)
        volume.reset();
    m_curveWindow->showCurves(m_destination->text(), m_level->currentText(), volume);
}

void FeeQueryPage::recompute()
{
    // Results stay true to the inputs: they are computed again at once, or
    // cleared while the inputs cannot be priced.
    const bool priceable = !m_destination->text().isEmpty() && parseWeight(m_weight->text()).has_value();
    std::optional<double> volume;
    const bool volumeOk =
        m_volume->text().trimmed().isEmpty() || ((volume = parseNumber(m_volume->text())) && *volume >= 0);
    if (priceable && volumeOk) {
        ComputeFees();
    } else if (m_results->rowCount() > 0) {
        m_results->table()->clearRows();
        m_quotes = {};
        m_breakdown->setPlainText(nativeLineBreaks(InitialTip));
    }
}

void FeeQueryPage::ComputeFees()
{
    m_results->table()->clearRows();
    m_quotes = {};
    // Rows edited on page 3, by another program or another station since
    // the search are priced as they are now.
    if (m_search.refresh()) {
        showMatches();
        followCurves();
    }
    // A breakdown of the results just replaced must not be copied to a buyer
    // by mistake.
    m_breakdown->setPlainText(nativeLineBreaks(InitialTip));
    const std::optional<double> weight = parseWeight(m_weight->text());
    if (!weight) {
        showStatus(u"请输入正确的货物重量"_s);
        Messages::show(this, u"请输入正确的货物重量（大于 0 的数字，单位 KG）"_s, u"提示"_s,
                       Messages::Icon::Warning);
        m_weight->setFocus();
        return;
    }
    std::optional<double> volume;
    if (!readVolume(volume))
        return;
    const std::optional<QHash<QString, BillingRules>> rules = m_database.billingRulesOfAll();
    if (!rules) {
        showStatus(m_database.lastError());
        return;
    }

    const MatchedRows &rows = m_search.rows();
    m_quotes = Kuaidi::ComputeFees(rows, Parcel{*weight, volume}, m_level->currentText(), *rules);
    qsizetype withFee = 0;
    qsizetype unpriced = 0;
    qsizetype tooHeavy = 0;
    QStringList notPositive;
    for (qsizetype i = 0; i < m_quotes.size(); ++i) {
        if (m_quotes.hasFee(i))
            ++withFee;
        else if (!m_quotes.isPriced(i) && m_quotes.cell(i, 2) == OverMaximumText)
            ++tooHeavy;
        else if (!m_quotes.isPriced(i))
            ++unpriced;
        else if (!notPositive.contains(m_quotes.courier(i)))
            notPositive << m_quotes.courier(i);
    }
    // Up to 20 kg the band surcharge is shown, greyed, but not charged.
    const auto notCharged = [this](int row) {
        return m_quotes.isPriced(row) && !isBandCharged(m_quotes.billing(row).billed);
    };
    m_results->table()->setRowSource({int(m_quotes.size()),
                                      [this, notCharged](int row, int column) {
                                          QString text = m_quotes.cell(row, column);
                                          if (column == FeeQuote::BandSurchargeColumn && notCharged(row))
                                              text += u"（未计）";
                                          return text;
                                      },
                                      [this, notCharged](int row, int column) {
                                          return !m_quotes.isPriced(row) ||
                                                 (column == FeeQuote::BandSurchargeColumn && notCharged(row));
                                      }});
    m_results->table()->setHighlightedRows(m_quotes.cheapest());
    m_results->fitColumnsToShownRows();

    if (rows.isEmpty() && m_destination->text().isEmpty())
        showStatus(u"请先输入目的地"_s);
    else if (rows.isEmpty())
        showStatus(u"没有找到目的地包含“%1”的快递"_s.arg(m_destination->text()));
    else if (!notPositive.isEmpty())
        showStatus(u"“%1”的报价不大于 0，请检查该模板的星级价格"_s.arg(notPositive.join(u"”、“")));
    else
        showStatus(quoteSummary(withFee, unpriced, tooHeavy));
}

void FeeQueryPage::ShowFeeBreakdown()
{
    m_breakdown->clear();
    int row = m_results->currentRow();
    if (row < 0)
        return;
    const QString weightText = m_weight->text();
    const std::optional<double> weight = parseWeight(weightText);
    if (!weight) {
        Messages::show(this, u"请输入正确的货物重量（大于 0 的数字，单位 KG）"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    std::optional<double> volume;
    if (!readVolume(volume))
        return;
    if (row < m_quotes.size() && m_search.refresh()) {
        // The rows changed since the fees were computed: they are computed
        // again, and the same courier's row for the same region explained.
        const QString courier = m_quotes.courier(row);
        const QString region = m_quotes.cell(row, DestinationColumn);
        showMatches();
        ComputeFees();
        row = -1;
        for (qsizetype i = 0; i < m_quotes.size() && row < 0; ++i) {
            if (m_quotes.courier(i) == courier && m_quotes.cell(i, DestinationColumn) == region)
                row = int(i);
        }
        m_results->setCurrentRow(row);
        if (row < 0)
            return;
    }
    // The fees are those computed; the weight is the one now typed, billed by
    // the rules of the quote's template.
    const FeeQuote quote =
        row < m_quotes.size() ? m_quotes.at(row) : FeeQuote::fromCells(m_results->table()->rowCells(row));
    m_breakdown->setPlainText(nativeLineBreaks(
        FeeBreakdownText(quote, weightText, billedWeight(*weight, volume, quote.billing.rules))));
}

void FeeQueryPage::CopyFeeBreakdown()
{
    QGuiApplication::clipboard()->setText(nativeLineBreaks(m_breakdown->toPlainText()));
    Messages::show(this, u"已经复制到剪切板，ctrl+v 复制到需要的地方即可"_s);
}

} // namespace Kuaidi
