#include "ui/margin/frm_link_margin.h"

#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "margin/sweep.h"
#include "ui/margin/margin_controls.h"
#include "ui/margin/monitor_panel.h"
#include "ui/margin/sweep_panel.h"

namespace vrq::ui {

namespace {
constexpr double kMaxRateMHz = 1000.0;
}  // namespace

FrmLinkMargin::FrmLinkMargin(link::BoardLink& link, board::ExchangeHub& hub,
                             MessagePresenter& presenter, const device::KnownChips* chips,
                             ChipSignals* chipSignals, QWidget* parent)
    : QWidget(parent, Qt::Window), shared_(link, hub, presenter, chips) {
    setObjectName(QStringLiteral("frmLinkMargin"));
    setWindowTitle(QString::fromUtf8(kTitle));
    shared_.window = this;
    shared_.choose.saveFile = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    shared_.choose.folder = [this](const QString& caption) {
        return QFileDialog::getExistingDirectory(this, caption);
    };
    shared_.choose.openFiles = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileNames(this, caption, QString(), filter);
    };

    auto* layout = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    lblTarget = new QLabel(this);
    lblTarget->setObjectName(QStringLiteral("lblTarget"));
    lblTarget->setTextInteractionFlags(Qt::TextSelectableByMouse);
    spnRate = SpinBox(this, QStringLiteral("spnRate"), 1.0, kMaxRateMHz,
                      margin::kDefaultCharacterRateMHz, 0.5, 2, QStringLiteral(" MHz"));
    spnRate->setToolTip(
        QStringLiteral("The TMDS character rate: the pixel clock at 8 bits a colour, 1.25 times "
                       "it at 10, 1.5 times at 12, twice at 16"));
    auto* rateLabel = new QLabel(QStringLiteral("TMDS character ra&te"), this);
    rateLabel->setBuddy(spnRate);
    head->addWidget(lblTarget, 1);
    head->addWidget(rateLabel);
    head->addWidget(spnRate);
    layout->addLayout(head);
    auto* prbs = new QLabel(
        QStringLiteral("The source must send PRBS7 on all three TMDS data links: the checker "
                       "counts errors against PRBS7 only."),
        this);
    prbs->setObjectName(QStringLiteral("lblPrbs"));
    prbs->setWordWrap(true);
    layout->addWidget(prbs);
    shared_.rateMHz = [this] { return spnRate->value(); };

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabsLinkMargin"));
    layout->addWidget(tabs_, 1);
    monitor_ = new MonitorPanel(shared_, tabs_);
    sweep_ = new SweepPanel(shared_, tabs_);
    tabs_->addTab(monitor_, QStringLiteral("&Monitor"));
    tabs_->addTab(sweep_, QStringLiteral("S&weep"));

    shared_.beforeRun = [this] {
        if (Monitoring()) {
            monitor_->Stop(
                QStringLiteral("Stopped for the sweep: its reads would take the sweep's errors."));
        }
    };
    shared_.afterRun = [this] { FollowChip(shared_.link.CurrentChip()); };
    connect(sweep_, &SweepPanel::running, this, [this](bool running) {
        spnRate->setEnabled(!running);
        monitor_->SetStartAllowed(!running);
    });
    connect(spnRate, &QDoubleSpinBox::valueChanged, this, [this] { monitor_->Refresh(); });
    if (chipSignals != nullptr) {
        connect(chipSignals, &ChipSignals::changed, this,
                [this](device::ChipKey chip, std::uint8_t reg, device::KnownValue value) {
                    // The value as learnt: reading it here would announce it again.
                    const link::ChipRef current = shared_.link.CurrentChip();
                    if (reg == device::kRegChannelSelect && value.Known() && !Sweeping() &&
                        isVisible() && chip.board == current.board &&
                        chip.address7 == current.addressByte >> 1) {
                        sweep_->MarkSelected(device::SelectedChannel(value.value));
                    }
                });
    }
    FollowChip(link.CurrentChip());
    chipFollowed_ = link.OnChipChanged([this](link::ChipRef chip) { FollowChip(chip); });
    // Room for the bathtub beside the map, but never more than the screen has.
    QSize size = sizeHint().expandedTo(QSize(1000, 760));
    if (const QScreen* shown = screen()) {
        size = size.boundedTo(shown->availableGeometry().size());
    }
    resize(size);
}

FrmLinkMargin::~FrmLinkMargin() {
    // The panels end their runs on what they share with this window: before it goes, not
    // after, as the children's turn in QWidget's destructor would be.
    delete monitor_;
    delete sweep_;
}

void FrmLinkMargin::MonitorTick() {
    monitor_->Tick();
}

void FrmLinkMargin::SweepTick() {
    sweep_->Tick();
}

bool FrmLinkMargin::Monitoring() const {
    return monitor_ != nullptr && monitor_->Running();
}

bool FrmLinkMargin::Sweeping() const {
    return sweep_ != nullptr && (sweep_->Sweeping() || sweep_->Verifying());
}

const margin::ErrorMonitor& FrmLinkMargin::Monitor() const {
    return monitor_->Monitor();
}

const margin::ChannelSweeps* FrmLinkMargin::Sweeps() const {
    return sweep_->Sweeps();
}

void FrmLinkMargin::FollowChip(link::ChipRef chip) {
    if (Sweeping()) {
        return;  // the run's chip is the one it started on, until it ends
    }
    shared_.tap.Watch(chip.board, chip.addressByte);
    if (monitor_ != nullptr) {
        monitor_->Rebase();  // another board or address: its counters start afresh
    }
    lblTarget->setText(shared_.TargetText());
}

void FrmLinkMargin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Sweeping()) {
        sweep_->ShowSelectedChannel();
    }
}

void FrmLinkMargin::closeEvent(QCloseEvent* event) {
    // What the sweep changed goes back before the window does.
    sweep_->Cancel();
    if (Monitoring()) {
        monitor_->Stop(QStringLiteral("Stopped."));
    }
    QWidget::closeEvent(event);
}

}  // namespace vrq::ui
