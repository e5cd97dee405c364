#include "ui/margin/monitor_panel.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "margin/margin_text.h"
#include "ui/margin/margin_controls.h"
#include "ui/margin/plot_view.h"
#include "ui/plot/plot_painter.h"

namespace vrq::ui {

namespace {

constexpr double kDefaultPollSeconds = 1.0;

// The state of the chip as a sentence for the status line.
QString StateText(const margin::LinkState& state) {
    const int channel = state.Selected();
    QString text =
        QStringLiteral("Channel %1 selected (%2), equalization gain 0x%3, hysteresis %4.")
            .arg(QChar(device::ChannelLetter(channel)))
            .arg(state.ClockActive(channel) ? QStringLiteral("TMDS clock active")
                                            : QStringLiteral("no TMDS clock"))
            .arg(QString::number(state.Gain(channel), 16).toUpper())
            .arg(QString::fromUtf8(device::HysteresisText(state.CurrentHysteresis())));
    if (state.PoweredDown()) {
        text += QStringLiteral(" The chip is powered down: nothing is counted.");
    }
    if (!state.CheckerOn()) {
        text += QStringLiteral(" The PRBS checker is off: nothing is counted.");
    }
    return text;
}

QString SegmentStateText(const margin::SegmentState& s) {
    QString text = QStringLiteral("%1, gain 0x%2, %3")
                       .arg(QChar(device::ChannelLetter(s.channel)))
                       .arg(QString::number(s.gain, 16).toUpper())
                       .arg(QString::fromUtf8(device::HysteresisText(s.hysteresis)));
    if (s.poweredDown) {
        text += QStringLiteral(", powered down");
    }
    if (!s.clockActive) {
        text += QStringLiteral(", no clock");
    }
    if (!s.checkerOn) {
        text += QStringLiteral(", checker off");
    }
    return text;
}

}  // namespace

MonitorPanel::MonitorPanel(MarginShared& shared, QWidget* parent)
    : QWidget(parent), shared_(shared) {
    shared_.tap.AddListener(&monitor_);
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    cmdMonitorStart = Button(this, QStringLiteral("cmdMonitorStart"), QStringLiteral("&Start"));
    cmdMonitorStop = Button(this, QStringLiteral("cmdMonitorStop"), QStringLiteral("Stop"));
    cmdMonitorExport =
        Button(this, QStringLiteral("cmdMonitorExport"), QStringLiteral("E&xport..."));
    cmdMonitorStop->setEnabled(false);
    cmdMonitorExport->setEnabled(false);
    spnPollInterval = SpinBox(this, QStringLiteral("spnPollInterval"), kMinPollSeconds,
                              kMaxPollSeconds, kDefaultPollSeconds, 0.1, 1, QStringLiteral(" s"));
    controls->addWidget(cmdMonitorStart);
    controls->addWidget(cmdMonitorStop);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Poll every"), this));
    controls->addWidget(spnPollInterval);
    controls->addStretch();
    controls->addWidget(cmdMonitorExport);
    layout->addLayout(controls);

    lblMonitorStatus = new QLabel(QStringLiteral("Stopped."), this);
    lblMonitorStatus->setObjectName(QStringLiteral("lblMonitorStatus"));
    lblMonitorStatus->setWordWrap(true);
    layout->addWidget(lblMonitorStatus);

    auto* split = new QSplitter(Qt::Vertical, this);
    plot_ = new PlotView(QStringLiteral("plotHistory"), plot::HistorySize(12), split);
    split->addWidget(plot_);
    auto* tables = new QWidget(split);
    auto* tablesLayout = new QVBoxLayout(tables);
    tablesLayout->setContentsMargins(0, 0, 0, 0);
    tblLinks = Table(tables, QStringLiteral("tblLinks"),
                     {{QStringLiteral("Link"), QStringLiteral("Link 0")},
                      {QStringLiteral("Latest"), QStringLiteral("at least 99999.9 errors/s")},
                      {QStringLiteral("Total"), QStringLiteral("at least 999999999")},
                      {QStringLiteral("Error-free time"), QStringLiteral("59 min 59 s")},
                      {QStringLiteral("Bit error ratio"), QString()}});
    for (int link = 0; link < device::kLinkCount; ++link) {
        SetRow(tblLinks, link, {QStringLiteral("Link %1").arg(link), {}, {}, {}, {}});
    }
    tblLinks->setFixedHeight(tblLinks->horizontalHeader()->height() +
                             device::kLinkCount * tblLinks->verticalHeader()->defaultSectionSize() +
                             2 * tblLinks->frameWidth());
    tablesLayout->addWidget(tblLinks);
    tblSegments = Table(tables, QStringLiteral("tblSegments"),
                        {{QStringLiteral("Segment"), QStringLiteral("999")},
                         {QStringLiteral("State"), QStringLiteral("A, gain 0xF, 20 mV, no clock")},
                         {QStringLiteral("From (s)"), QStringLiteral("99999.9")},
                         {QStringLiteral("To (s)"), QStringLiteral("99999.9")},
                         {QStringLiteral("Counted"), QStringLiteral("59 min 59 s")},
                         {QStringLiteral("Errors 0 / 1 / 2"), QStringLiteral("255+ / 255+ / 255+")},
                         {QStringLiteral("Worst bit error ratio"), QString()}});
    tablesLayout->addWidget(tblSegments, 1);
    split->addWidget(tables);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    displayTimer_.setSingleShot(true);
    connect(&displayTimer_, &QTimer::timeout, this, [this] { Refresh(); });
    connect(cmdMonitorStart, &QPushButton::clicked, this, [this] { Start(); });
    connect(cmdMonitorStop, &QPushButton::clicked, this,
            [this] { Stop(QStringLiteral("Stopped.")); });
    connect(cmdMonitorExport, &QPushButton::clicked, this, [this] {
        QString path =
            shared_.choose.saveFile(QStringLiteral("Export the monitor's run"),
                                    QStringLiteral("CSV files (*.csv);;JSON Lines (*.jsonl)"));
        if (path.isEmpty()) {
            return;
        }
        if (QFileInfo(path).suffix().isEmpty()) {
            path += QStringLiteral(".csv");
        }
        if (!Export(path)) {
            shared_.Say(QStringLiteral("Cannot write %1.").arg(path));
        }
    });
    connect(spnPollInterval, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        if (timer_.isActive()) {
            timer_.start(static_cast<int>(std::lround(seconds * 1000.0)));
        }
    });
    Refresh();
}

MonitorPanel::~MonitorPanel() {
    shared_.tap.RemoveListener(&monitor_);
}

void MonitorPanel::SetStartAllowed(bool allowed) {
    startAllowed_ = allowed;
    cmdMonitorStart->setEnabled(allowed && !Running());
}

void MonitorPanel::Start() {
    if (busy || Running() || !startAllowed_) {
        return;
    }
    busy = true;
    const auto state = margin::ReadLinkState(shared_.registers);
    const bool ready = state && shared_.CheckerReady(*state, QStringLiteral("monitor"));
    busy = false;
    if (!ready) {
        lblMonitorStatus->setText(state ? QStringLiteral("Not started: the PRBS checker is off.")
                                        : QStringLiteral("Not started: the chip did not answer."));
        return;
    }
    monitor_.Start(shared_.link.TheClock().Now());
    history_.Clear();
    cmdMonitorStart->setEnabled(false);
    cmdMonitorStop->setEnabled(true);
    cmdMonitorExport->setEnabled(true);
    Tick();  // the first reading: where counting starts
    if (Running()) {
        timer_.start(static_cast<int>(std::lround(spnPollInterval->value() * 1000.0)));
    }
}

void MonitorPanel::Stop(const QString& why) {
    timer_.stop();
    monitor_.Stop();
    cmdMonitorStart->setEnabled(startAllowed_);
    cmdMonitorStop->setEnabled(false);
    lblMonitorStatus->setText(why);
    Refresh();
}

void MonitorPanel::Tick() {
    if (busy || !Running()) {
        return;  // a tick inside one of the link's messages: the next one reads
    }
    busy = true;
    const auto state = margin::ReadLinkState(shared_.registers, true);
    busy = false;
    if (!state) {
        Stop(QStringLiteral("Stopped: the chip did not answer."));
        return;
    }
    history_.Follow(monitor_, margin::WallClockNow());
    lblMonitorStatus->setText(StateText(*state));
    ShowSoon();
}

void MonitorPanel::ShowSoon() {
    // Drawing costs more than everything else a poll does: the tables and the plot show at
    // most once a second (every poll counts all the same), the latest readings when the
    // second is up.
    const board::Clock::TimePoint now = shared_.link.TheClock().Now();
    const auto since = now - shownAt_;
    if (since >= kDisplayRefresh) {
        Refresh();
    } else if (!displayTimer_.isActive()) {
        displayTimer_.start(static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(kDisplayRefresh - since).count()));
    }
}

void MonitorPanel::Refresh() {
    displayTimer_.stop();
    shownAt_ = shared_.link.TheClock().Now();
    const auto& rates = monitor_.Rates();
    const double rate = shared_.rateMHz();
    for (int link = 0; link < device::kLinkCount; ++link) {
        const auto i = static_cast<std::size_t>(link);
        const margin::LinkTotals& totals = monitor_.Links()[i];
        const auto latest = std::find_if(rates.rbegin(), rates.rend(),
                                         [i](const margin::RatePoint& p) { return p.covered[i]; });
        QString perSecond;
        if (latest != rates.rend()) {
            perSecond = (latest->atLeast[i] ? QStringLiteral("at least ") : QString()) +
                        Qs(margin::FixedText(latest->perSecond[i], 1)) +
                        QStringLiteral(" errors/s");
        }
        SetRow(tblLinks, link,
               {QStringLiteral("Link %1").arg(link), perSecond,
                Qs(margin::CountText(totals.errors, totals.atLeast)),
                Qs(margin::DurationText(totals.errorFreeSeconds)),
                Qs(margin::ErrorRatioText(margin::BitErrorRatio(totals, rate)))});
    }
    ShowSegments();
    margin::PlotCaption caption{
        "Errors per second of each data link",
        shared_.TargetText().toStdString() + ", since " +
            (history_.Records().empty() ? std::string("the start")
                                        : history_.Records().front().wallClock),
        {}};
    auto model = std::make_shared<margin::HistoryModel>(history_.Model(caption, kPlotColumns));
    plot_->SetPaint([model](QPainter& painter, const QRect& rect) {
        plot::PaintHistory(painter, rect, *model, true);
    });
}

void MonitorPanel::ShowSegments() {
    std::vector<const margin::Segment*> segments;
    for (const margin::Segment& s : monitor_.Closed()) {
        segments.push_back(&s);
    }
    if (monitor_.Current()) {
        segments.push_back(&*monitor_.Current());
    }
    tblSegments->setRowCount(static_cast<int>(segments.size()));
    const double rate = shared_.rateMHz();
    for (std::size_t row = 0; row < segments.size(); ++row) {
        const margin::Segment& s = *segments[segments.size() - 1 - row];  // the latest on top
        QStringList errors;
        for (const margin::LinkCount& link : s.tally.links) {
            errors << QString::number(link.errors) + (link.atLeast ? "+" : "");
        }
        const QString worst =
            s.why ? QStringLiteral("not counted: ") + Qs(margin::UncountedText(*s.why))
                  : Qs(margin::BerText(
                        margin::WorstFigure(s.tally, rate, margin::kDefaultConfidence)));
        SetRow(
            tblSegments, static_cast<int>(row),
            {QString::number(s.number), SegmentStateText(s.state), Qs(margin::FixedText(s.from, 1)),
             Qs(margin::FixedText(s.to, 1)), Qs(margin::DurationText(s.tally.seconds)),
             errors.join(QStringLiteral(" / ")), worst});
    }
}

bool MonitorPanel::Export(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::string text = suffix == QStringLiteral("jsonl") || suffix == QStringLiteral("json")
                                 ? history_.JsonLines()
                                 : history_.Csv();
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size());
}

}  // namespace vrq::ui
