// Tab "Monitor": polls the chip's state and error counters, plots errors per second per link
// and shows each link's totals. The counts themselves arrive through the tap, from this
// window's polls and from anyone else's reads alike.
#include <QAbstractSeries>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "margin/margin_text.h"
#include "ui/margin/frm_link_margin.h"

namespace vrq::ui {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The state of the chip as a sentence for the status line.
QString StateText(const margin::LinkState& state) {
    const int channel = state.Selected();
    QString text =
        QStringLiteral("Channel %1 selected (%2), equalization gain 0x%3, hysteresis %4.")
            .arg(QChar(device::ChannelLetter(channel)))
            .arg(state.ClockActive(channel) ? QStringLiteral("TMDS clock active")
                                            : QStringLiteral("no TMDS clock"))
            .arg(state.Gain(channel), 0, 16)
            .arg(QString::fromUtf8(device::HysteresisText(state.CurrentHysteresis())));
    if (state.PoweredDown()) {
        text += QStringLiteral(" The chip is powered down: nothing is counted.");
    }
    if (!state.CheckerOn()) {
        text += QStringLiteral(" The PRBS checker is off: nothing is counted.");
    }
    return text;
}

// The next round number at or above value: 1, 2 or 5 times a power of ten.
double RoundUp(double value) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {1.0, 2.0, 5.0}) {
        if (step * magnitude >= value) {
            return step * magnitude;
        }
    }
    return 10.0 * magnitude;
}

}  // namespace

void FrmLinkMargin::cmdMonitorStart_Click() {
    if (busy_ || Monitoring() || Sweeping()) {
        return;
    }
    busy_ = true;
    const auto state = margin::ReadLinkState(registers_);
    const bool ready = state && CheckerReady(*state, QStringLiteral("monitor"));
    busy_ = false;
    if (!ready) {
        lblMonitorStatus->setText(state ? QStringLiteral("Not started: the PRBS checker is off.")
                                        : QStringLiteral("Not started: the chip did not answer."));
        return;
    }
    monitor_.Start(link_.TheClock().Now());
    ratesPlotted_ = ~std::uint64_t{0};  // the plot starts afresh
    cmdMonitorStart->setEnabled(false);
    cmdMonitorStop->setEnabled(true);
    MonitorTick();  // the first reading: where counting starts
    if (Monitoring()) {
        monitorTimer_.start(static_cast<int>(std::lround(spnPollInterval->value() * 1000.0)));
    }
}

void FrmLinkMargin::cmdMonitorStop_Click() {
    StopMonitor(QStringLiteral("Stopped."));
}

void FrmLinkMargin::StopMonitor(const QString& why) {
    monitorTimer_.stop();
    monitor_.Stop();
    cmdMonitorStart->setEnabled(!Sweeping());
    cmdMonitorStop->setEnabled(false);
    lblMonitorStatus->setText(why);
}

void FrmLinkMargin::MonitorTick() {
    if (busy_ || !Monitoring()) {
        return;  // a tick inside one of the link's messages: the next one reads
    }
    busy_ = true;
    const auto state = margin::ReadLinkState(registers_, true);
    busy_ = false;
    if (!state) {
        StopMonitor(QStringLiteral("Stopped: the chip did not answer."));
        return;
    }
    lblMonitorStatus->setText(StateText(*state));
    ShowMonitor();
}

void FrmLinkMargin::ShowMonitor() {
    // Drawing costs more than everything else a poll does: the table and the plot show at
    // most once a second (every poll counts all the same), the latest readings when the
    // second is up.
    const board::Clock::TimePoint now = link_.TheClock().Now();
    const auto since = now - shownAt_;
    if (since >= kDisplayRefresh) {
        RefreshMonitor();
    } else if (!displayTimer_.isActive()) {
        displayTimer_.start(static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(kDisplayRefresh - since).count()));
    }
}

void FrmLinkMargin::RefreshMonitor() {
    displayTimer_.stop();
    shownAt_ = link_.TheClock().Now();
    const auto& rates = monitor_.Rates();
    const double pixelClock = PixelClockMHz();
    for (int link = 0; link < device::kLinkCount; ++link) {
        const auto i = static_cast<std::size_t>(link);
        const margin::LinkTotals& totals = monitor_.Links()[i];
        const auto latest = std::find_if(rates.rbegin(), rates.rend(),
                                         [i](const margin::RatePoint& p) { return p.covered[i]; });
        QString rate;
        if (latest != rates.rend()) {
            rate = (latest->atLeast[i] ? QStringLiteral("at least ") : QString()) +
                   QString::number(latest->perSecond[i], 'f', 1) + QStringLiteral(" errors/s");
        }
        tblLinks->item(link, 1)->setText(rate);
        tblLinks->item(link, 2)->setText(Text(margin::CountText(totals.errors, totals.atLeast)));
        tblLinks->item(link, 3)->setText(Text(margin::DurationText(totals.errorFreeSeconds)));
        tblLinks->item(link, 4)->setText(
            Text(margin::ErrorRatioText(margin::BitErrorRatio(totals, pixelClock))));
    }
    PlotRates();
}

void FrmLinkMargin::PlotRates() {
    // The latest kPlotPoints readings, each series replaced at once (one redraw, where
    // appending and trimming point by point would redraw for each).
    if (monitor_.RatesAdded() == ratesPlotted_) {
        return;
    }
    const auto& rates = monitor_.Rates();
    ratesPlotted_ = monitor_.RatesAdded();
    std::array<QList<QPointF>, device::kLinkCount> lines;
    QList<QPointF> full;
    const std::size_t kept = std::min(rates.size(), static_cast<std::size_t>(kPlotPoints));
    // Past kPlotDrawn readings, each point drawn is the highest of a few neighbours: the peaks
    // stay, and the line costs a fraction to draw.
    const std::size_t bucket = (kept + kPlotDrawn - 1) / kPlotDrawn;
    double top = 0;
    for (std::size_t from = rates.size() - kept; from < rates.size(); from += bucket) {
        const std::size_t to = std::min(rates.size(), from + bucket);
        for (std::size_t link = 0; link < lines.size(); ++link) {
            const margin::RatePoint* highest = nullptr;
            for (std::size_t r = from; r < to; ++r) {
                if (rates[r].covered[link] &&
                    (highest == nullptr || rates[r].perSecond[link] > highest->perSecond[link])) {
                    highest = &rates[r];
                }
            }
            if (highest == nullptr) {
                continue;
            }
            const QPointF at(highest->t, highest->perSecond[link]);
            lines[link].append(at);
            if (highest->atLeast[link]) {
                full.append(at);
            }
            top = std::max(top, at.y());
        }
    }
    for (std::size_t link = 0; link < lines.size(); ++link) {
        linkSeries_[link]->replace(lines[link]);
    }
    atLeastSeries_->replace(full);
    if (kept == 0) {
        return;
    }
    const double first = rates[rates.size() - kept].t;
    const double last = std::max(rates.back().t, first + 10.0);
    timeAxis_->setRange(first, last);
    timeAxis_->setTickInterval(RoundUp((last - first) / 6.0));
    rateAxis_->setRange(0, RoundUp(std::max(top * 1.1, 10.0)));
}

}  // namespace vrq::ui
