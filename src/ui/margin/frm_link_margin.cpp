// The window's frame: its one instance, the two tabs' controls, and what both tabs share
// (the chip watched, the checker offer, messages, the pixel clock).
#include "ui/margin/frm_link_margin.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <vector>

#include "ui/margin/heat_map.h"

namespace vrq::ui {

namespace {

QDoubleSpinBox* SpinBox(QWidget* parent, const QString& name, double min, double max, double value,
                        double step, int decimals, const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// A read-only table whose columns are sized once, to the wider of each header and the widest
// text the column will hold (sizing to the contents on every change would lay out every cell
// again at each poll); the last column takes the rest.
struct Column {
    QString header;
    QString widest;
};

QTableWidget* Table(QWidget* parent, const QString& name, const std::vector<Column>& columns) {
    auto* table = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics(table->font());
    const int padding = 3 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, table);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const Column& column = columns[static_cast<std::size_t>(i)];
        table->setHorizontalHeaderItem(i, new QTableWidgetItem(column.header));
        const int text = std::max(metrics.horizontalAdvance(column.header),
                                  metrics.horizontalAdvance(column.widest));
        table->setColumnWidth(i, text + padding + metrics.horizontalAdvance(QLatin1Char('M')));
    }
    return table;
}

const QColor kFullColour(150, 20, 20);
constexpr int kMarkSize = 11;

QImage TriangleMark() {
    QImage image(kMarkSize, kMarkSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFullColour);
    const QPointF corners[] = {
        {kMarkSize / 2.0, 0.0}, {double{kMarkSize}, double{kMarkSize}}, {0.0, double{kMarkSize}}};
    painter.drawPolygon(corners, 3);
    return image;
}

constexpr double kMaxPixelClockMHz = 1000.0;
constexpr double kDefaultPollSeconds = 1.0;
constexpr double kDefaultDwellSeconds = 1.0;

}  // namespace

FrmLinkMargin::FrmLinkMargin(link::BoardLink& link, board::ExchangeHub& hub,
                             MessagePresenter& presenter, QWidget* parent)
    : QWidget(parent, Qt::Window),
      link_(link),
      presenter_(presenter),
      registers_(link),
      tapOnHub_(hub, tap_) {
    setObjectName(QStringLiteral("frmLinkMargin"));
    setWindowTitle(QString::fromUtf8(kTitle));
    tap_.AddListener(&monitor_);
    FollowChip(link_.CurrentChip());
    chipFollowed_ = link_.OnChipChanged([this](link::ChipRef chip) { FollowChip(chip); });

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabsLinkMargin"));
    layout->addWidget(tabs_);
    auto* monitorPage = new QWidget(tabs_);
    auto* sweepPage = new QWidget(tabs_);
    tabs_->addTab(monitorPage, QStringLiteral("&Monitor"));
    tabs_->addTab(sweepPage, QStringLiteral("S&weep"));
    BuildMonitorTab(monitorPage);
    BuildSweepTab(sweepPage);

    // One pixel clock, shown on both tabs.
    auto mirror = [](QDoubleSpinBox* to) {
        return [to](double value) {
            const QSignalBlocker quiet(to);
            to->setValue(value);
        };
    };
    connect(spnMonitorPixelClock, &QDoubleSpinBox::valueChanged, this, mirror(spnSweepPixelClock));
    connect(spnSweepPixelClock, &QDoubleSpinBox::valueChanged, this, mirror(spnMonitorPixelClock));
    connect(spnMonitorPixelClock, &QDoubleSpinBox::valueChanged, this,
            [this] { RefreshMonitor(); });

    monitorTimer_.setTimerType(Qt::PreciseTimer);
    connect(&monitorTimer_, &QTimer::timeout, this, [this] { MonitorTick(); });
    displayTimer_.setSingleShot(true);
    connect(&displayTimer_, &QTimer::timeout, this, [this] { RefreshMonitor(); });
    sweepTimer_.setSingleShot(true);
    sweepTimer_.setTimerType(Qt::PreciseTimer);
    connect(&sweepTimer_, &QTimer::timeout, this, [this] { SweepTick(); });

    chooseSaveFile_ = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    resize(sizeHint().expandedTo(QSize(820, 620)));
}

FrmLinkMargin::~FrmLinkMargin() = default;

void FrmLinkMargin::BuildMonitorTab(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    auto* controls = new QHBoxLayout;
    cmdMonitorStart = Button(page, QStringLiteral("cmdMonitorStart"), QStringLiteral("&Start"));
    cmdMonitorStop = Button(page, QStringLiteral("cmdMonitorStop"), QStringLiteral("Stop"));
    cmdMonitorStop->setEnabled(false);
    spnPollInterval = SpinBox(page, QStringLiteral("spnPollInterval"), kMinPollSeconds,
                              kMaxPollSeconds, kDefaultPollSeconds, 0.1, 1, QStringLiteral(" s"));
    spnMonitorPixelClock =
        SpinBox(page, QStringLiteral("spnMonitorPixelClock"), 1.0, kMaxPixelClockMHz,
                margin::kDefaultCharacterRateMHz, 0.5, 2, QStringLiteral(" MHz"));
    controls->addWidget(cmdMonitorStart);
    controls->addWidget(cmdMonitorStop);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Poll every"), page));
    controls->addWidget(spnPollInterval);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("TMDS pixel clock"), page));
    controls->addWidget(spnMonitorPixelClock);
    controls->addStretch();
    layout->addLayout(controls);

    lblMonitorStatus = new QLabel(QStringLiteral("Stopped."), page);
    lblMonitorStatus->setObjectName(QStringLiteral("lblMonitorStatus"));
    lblMonitorStatus->setWordWrap(true);
    layout->addWidget(lblMonitorStatus);

    chart_ = new QChart;  // owned by the view below
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->setAlignment(Qt::AlignBottom);
    timeAxis_ = new QValueAxis(chart_);
    timeAxis_->setTitleText(QStringLiteral("Time (s)"));
    timeAxis_->setLabelFormat(QStringLiteral("%.0f"));
    timeAxis_->setRange(0, 60);
    // Ticks on round seconds, however far the plot has run.
    timeAxis_->setTickType(QValueAxis::TicksDynamic);
    timeAxis_->setTickAnchor(0);
    timeAxis_->setTickInterval(10);
    rateAxis_ = new QValueAxis(chart_);
    rateAxis_->setTitleText(QStringLiteral("Errors per second"));
    rateAxis_->setLabelFormat(QStringLiteral("%.0f"));
    rateAxis_->setRange(0, 10);
    // Five intervals: the tops the plot takes (1, 2 or 5 times ten to a power, 10 at least)
    // then fall on whole numbers, as the labels show them.
    rateAxis_->setTickCount(6);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(rateAxis_, Qt::AlignLeft);
    for (int link = 0; link < device::kLinkCount; ++link) {
        auto* series = new QLineSeries(chart_);
        series->setName(QStringLiteral("Link %1").arg(link));
        chart_->addSeries(series);
        // The theme's colour, in a thin line: it draws far quicker than a wide one.
        QPen pen = series->pen();
        pen.setWidth(1);
        series->setPen(pen);
        series->attachAxis(timeAxis_);
        series->attachAxis(rateAxis_);
        linkSeries_[static_cast<std::size_t>(link)] = series;
    }
    // Readings of a full counter: a triangle on each, drawn from one image (a scatter series
    // would make a graphics item of every point, and costs many times more to redraw).
    atLeastSeries_ = new QLineSeries(chart_);
    atLeastSeries_->setName(QStringLiteral("at least (counter full)"));
    atLeastSeries_->setPen(Qt::NoPen);
    atLeastSeries_->setColor(kFullColour);
    atLeastSeries_->setMarkerSize(kMarkSize);
    atLeastSeries_->setLightMarker(TriangleMark());
    chart_->addSeries(atLeastSeries_);
    atLeastSeries_->attachAxis(timeAxis_);
    atLeastSeries_->attachAxis(rateAxis_);
    auto* view = new QChartView(chart_, page);
    view->setObjectName(QStringLiteral("chtErrors"));
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setMinimumHeight(260);
    layout->addWidget(view, 1);

    tblLinks = Table(page, QStringLiteral("tblLinks"),
                     {{QStringLiteral("Link"), QStringLiteral("Link 0")},
                      {QStringLiteral("Latest"), QStringLiteral("at least 99999.9 errors/s")},
                      {QStringLiteral("Total"), QStringLiteral("at least 999999999")},
                      {QStringLiteral("Error-free time"), QStringLiteral("59 min 59 s")},
                      {QStringLiteral("Bit error ratio"), QString()}});
    tblLinks->setRowCount(device::kLinkCount);
    for (int link = 0; link < device::kLinkCount; ++link) {
        for (int column = 0; column < tblLinks->columnCount(); ++column) {
            tblLinks->setItem(link, column, new QTableWidgetItem);
        }
        tblLinks->item(link, 0)->setText(QStringLiteral("Link %1").arg(link));
    }
    tblLinks->setFixedHeight(tblLinks->horizontalHeader()->height() +
                             device::kLinkCount * tblLinks->verticalHeader()->defaultSectionSize() +
                             2 * tblLinks->frameWidth());
    layout->addWidget(tblLinks);

    connect(cmdMonitorStart, &QPushButton::clicked, this, [this] { cmdMonitorStart_Click(); });
    connect(cmdMonitorStop, &QPushButton::clicked, this, [this] { cmdMonitorStop_Click(); });
    connect(spnPollInterval, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        if (monitorTimer_.isActive()) {
            monitorTimer_.start(static_cast<int>(seconds * 1000.0));
        }
    });
    RefreshMonitor();
}

void FrmLinkMargin::BuildSweepTab(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    cboChannel = new QComboBox(page);
    cboChannel->setObjectName(QStringLiteral("cboChannel"));
    for (int channel = 0; channel < device::kChannelCount; ++channel) {
        cboChannel->addItem(QString(QChar(device::ChannelLetter(channel))));
    }
    spnDwell =
        SpinBox(page, QStringLiteral("spnDwell"), margin::kMinDwellSeconds,
                margin::kMaxDwellSeconds, kDefaultDwellSeconds, 0.1, 1, QStringLiteral(" s"));
    spnSweepPixelClock = SpinBox(page, QStringLiteral("spnSweepPixelClock"), 1.0, kMaxPixelClockMHz,
                                 margin::kDefaultCharacterRateMHz, 0.5, 2, QStringLiteral(" MHz"));
    chkHysteresis =
        new QCheckBox(QStringLiteral("Also at each input hysteresis (off, 10 mV, 20 mV)"), page);
    chkHysteresis->setObjectName(QStringLiteral("chkHysteresis"));
    form->addRow(QStringLiteral("Input channel"), cboChannel);
    form->addRow(QStringLiteral("Dwell per point"), spnDwell);
    form->addRow(QStringLiteral("TMDS pixel clock"), spnSweepPixelClock);
    form->addRow(QStringLiteral("Equalization gain 0x0 to 0xF"), chkHysteresis);
    layout->addLayout(form);

    auto* run = new QHBoxLayout;
    cmdSweepStart = Button(page, QStringLiteral("cmdSweepStart"), QStringLiteral("&Start sweep"));
    cmdSweepCancel = Button(page, QStringLiteral("cmdSweepCancel"), QStringLiteral("Cancel"));
    cmdSweepCancel->setEnabled(false);
    prgSweep = new QProgressBar(page);
    prgSweep->setObjectName(QStringLiteral("prgSweep"));
    prgSweep->setRange(0, 1);
    prgSweep->setValue(0);
    prgSweep->setFormat(QString());
    run->addWidget(cmdSweepStart);
    run->addWidget(cmdSweepCancel);
    run->addWidget(prgSweep, 1);
    layout->addLayout(run);

    lblSweepStatus = new QLabel(page);
    lblSweepStatus->setObjectName(QStringLiteral("lblSweepStatus"));
    lblSweepStatus->setWordWrap(true);
    layout->addWidget(lblSweepStatus);

    map_ = new HeatMap(page);
    layout->addWidget(map_, 0, Qt::AlignLeft);

    auto* recommendation = new QHBoxLayout;
    lblRecommendation = new QLabel(page);
    lblRecommendation->setObjectName(QStringLiteral("lblRecommendation"));
    cmdApply = Button(page, QStringLiteral("cmdApply"), QStringLiteral("&Apply"));
    cmdApply->setEnabled(false);
    cmdExportCsv = Button(page, QStringLiteral("cmdExportCsv"), QStringLiteral("Export CSV..."));
    cmdExportPng = Button(page, QStringLiteral("cmdExportPng"), QStringLiteral("Export PNG..."));
    cmdExportCsv->setEnabled(false);
    cmdExportPng->setEnabled(false);
    recommendation->addWidget(lblRecommendation, 1);
    recommendation->addWidget(cmdApply);
    recommendation->addWidget(cmdExportCsv);
    recommendation->addWidget(cmdExportPng);
    layout->addLayout(recommendation);

    tblSweep = Table(page, QStringLiteral("tblSweep"),
                     {{QStringLiteral("Gain"), QStringLiteral("0xF")},
                      {QStringLiteral("Hysteresis"), QStringLiteral("20 mV")},
                      {QStringLiteral("Link 0"), QStringLiteral("at least 255")},
                      {QStringLiteral("Link 1"), QStringLiteral("at least 255")},
                      {QStringLiteral("Link 2"), QStringLiteral("at least 255")},
                      {QStringLiteral("Seconds"), QStringLiteral("60.00")},
                      {QStringLiteral("Bit error ratio (worst link)"), QString()}});
    layout->addWidget(tblSweep, 1);

    connect(cmdSweepStart, &QPushButton::clicked, this, [this] { cmdSweepStart_Click(); });
    connect(cmdSweepCancel, &QPushButton::clicked, this, [this] { cmdSweepCancel_Click(); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    connect(cmdExportCsv, &QPushButton::clicked, this, [this] { cmdExportCsv_Click(); });
    connect(cmdExportPng, &QPushButton::clicked, this, [this] { cmdExportPng_Click(); });
}

double FrmLinkMargin::PixelClockMHz() const {
    return spnMonitorPixelClock->value();
}

void FrmLinkMargin::FollowChip(link::ChipRef chip) {
    if (Sweeping()) {
        return;  // the sweep's chip is the one it started on, until it ends
    }
    tap_.Watch(chip.board, chip.addressByte);
    monitor_.Rebase();  // another board or address: its counters start afresh
}

link::MessageAnswer FrmLinkMargin::Ask(const QString& text, link::MessageButtons buttons) {
    return presenter_.Show(this, text.toStdString(), buttons, kTitle);
}

void FrmLinkMargin::Say(const QString& text) {
    Ask(text, link::MessageButtons::Ok);
}

bool FrmLinkMargin::CheckerReady(const margin::LinkState& state, const QString& toolName) {
    if (state.CheckerOn()) {
        return true;
    }
    const QString text = QStringLiteral(
                             "The PRBS checker (register 0x09 bit 2) is off, so the error counters "
                             "count nothing.\r\nTurn it on and start the %1?")
                             .arg(toolName);
    if (Ask(text, link::MessageButtons::YesNo) != link::AnswerYes) {
        return false;
    }
    return margin::TurnCheckerOn(registers_, state);
}

void FrmLinkMargin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Sweeping()) {
        ShowSelectedChannel();
    }
}

void FrmLinkMargin::closeEvent(QCloseEvent* event) {
    // What the sweep changed goes back before the window does.
    if (Sweeping()) {
        cmdSweepCancel_Click();
    }
    if (Monitoring()) {
        StopMonitor(QStringLiteral("Stopped."));
    }
    QWidget::closeEvent(event);
}

}  // namespace vrq::ui
