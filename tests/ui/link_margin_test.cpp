// The link-margin window on a simulated board. Most tests run the board on a virtual clock
// and call the window's timer handlers after moving it; the last runs the sweep on its own
// timer in real time.
#include <gtest/gtest.h>

#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <cmath>

#include "main_window_fixture.h"
#include "margin/margin_text.h"
#include "sim/virtual_clock.h"
#include "ui/common/tool_windows.h"
#include "ui/margin/frm_link_margin.h"

namespace vrq::test {
namespace {

using std::chrono::milliseconds;

class LinkMarginWindow : public ::testing::Test {
  protected:
    explicit LinkMarginWindow(board::Clock& clock = virtualClock_) : clock_(clock) {}
    void SetUp() override {
        sim.SetZeroLatency(true);
        sim.AddBoard().Chip().SetCables(sim::DefaultCables());  // A needs 0x6, C 0xA
        link.FindBoards();
        link.SetI2CAddress(kChipAddress);
        window = std::make_unique<ui::FrmLinkMargin>(link, hub, presenter);
    }
    sim::ChipModel& Chip() { return sim.Board(0).Chip(); }
    void Write(std::uint8_t reg, std::uint8_t value) {
        ASSERT_EQ(link.WriteRegisters(kChipAddress, reg, 1, {&value, 1}, false), link::StatusOk);
    }
    template <class W = QWidget>
    W* Find(const char* name) const {
        W* found = window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << "no control " << name;
        return found;
    }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    QString Cell(const char* table, int row, int column) {
        return Find<QTableWidget>(table)->item(row, column)->text();
    }
    // Moves the virtual clock on, running the sweep's steps as its timer would.
    void RunSweep(int maxSteps = 100000) {
        for (int step = 0; window->Sweeping() && step < maxSteps; ++step) {
            virtualClock_.Advance(milliseconds(20));
            window->SweepTick();
        }
    }
    void StartSweep(int channel, double dwell, bool hysteresis) {
        Find<QComboBox>("cboChannel")->setCurrentIndex(channel);
        Find<QDoubleSpinBox>("spnDwell")->setValue(dwell);
        Find<QCheckBox>("chkHysteresis")->setChecked(hysteresis);
        Click("cmdSweepStart");
    }

    // The rate labels are whole numbers: every tick must fall on one.
    void ExpectWholeRateTicks() {
        const auto axes = Find<QChartView>("chtErrors")->chart()->axes(Qt::Vertical);
        ASSERT_EQ(axes.size(), 1);
        const auto* axis = qobject_cast<QValueAxis*>(axes[0]);
        const double step = axis->max() / (axis->tickCount() - 1);
        EXPECT_EQ(step, std::round(step)) << axis->max() << " in " << axis->tickCount();
    }

    static inline sim::VirtualClock virtualClock_;
    board::Clock& clock_;
    sim::SimTransport sim{clock_};
    ScriptedHost host;
    board::ExchangeHub hub;
    link::BoardLink link{sim, host, hub, clock_};
    ScriptedPresenter presenter;
    std::unique_ptr<ui::FrmLinkMargin> window;  // before the link goes
};

TEST_F(LinkMarginWindow, MonitorOffersTheCheckerAndCountsAReadAllInBetween) {
    window->show();
    ExpectWholeRateTicks();
    presenter.Script({link::AnswerNo});
    Click("cmdMonitorStart");
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].buttons, link::MessageButtons::YesNo);
    EXPECT_NE(presenter.messages[0].text.find("PRBS checker (register 0x09 bit 2) is off"),
              std::string::npos);
    EXPECT_FALSE(window->Monitoring());
    EXPECT_EQ(Chip().Peek(0x09), 0x00) << "never turned on without asking";

    Write(0x07, 0xC9);  // channel A one step outside its window
    presenter.Script({link::AnswerYes});
    Click("cmdMonitorStart");
    EXPECT_EQ(Chip().Peek(0x09), 0x04);
    ASSERT_TRUE(window->Monitoring());
    EXPECT_FALSE(Find<QPushButton>("cmdMonitorStart")->isEnabled());
    virtualClock_.Advance(milliseconds(1000));
    window->MonitorTick();
    // A Read All in the main window between two polls.
    virtualClock_.Advance(milliseconds(500));
    std::array<std::uint8_t, 13> all{};
    ASSERT_EQ(link.ReadRegisters(kChipAddress, 0x00, all.size(), all, false), link::StatusOk);
    virtualClock_.Advance(milliseconds(500));
    window->MonitorTick();

    const margin::LinkTotals& totals = window->Monitor().Links()[0];
    EXPECT_DOUBLE_EQ(totals.seconds, 2.0);
    EXPECT_GT(totals.errors, 0u);
    EXPECT_EQ(Cell("tblLinks", 0, 2), QString::number(totals.errors));
    EXPECT_TRUE(Cell("tblLinks", 0, 4).contains("e-")) << Cell("tblLinks", 0, 4).toStdString();
    EXPECT_TRUE(Find<QLabel>("lblMonitorStatus")->text().startsWith("Channel A selected"));
    const auto series = Find<QChartView>("chtErrors")->chart()->series();
    ASSERT_FALSE(series.isEmpty());
    EXPECT_EQ(qobject_cast<QLineSeries*>(series[0])->count(), 3) << "two polls and the Read All";
    ExpectWholeRateTicks();

    Click("cmdMonitorStop");
    EXPECT_FALSE(window->Monitoring());
}

TEST_F(LinkMarginWindow, SweepFindsTheWindowWritesBackAppliesAndExports) {
    Write(0x02, 0x02);  // channel C by the register
    window->show();
    EXPECT_EQ(Find<QComboBox>("cboChannel")->currentText(), "C (selected)");
    presenter.Script({link::AnswerYes});  // the checker
    StartSweep(2, 0.1, false);
    ASSERT_TRUE(window->Sweeping());
    EXPECT_FALSE(Find<QPushButton>("cmdSweepStart")->isEnabled());
    EXPECT_TRUE(Find<QProgressBar>("prgSweep")->format().endsWith(" left"));
    RunSweep();

    EXPECT_EQ(Find<QTableWidget>("tblSweep")->rowCount(), 16);
    // By margin: three steps either side of 0xA to the nearest point that did not pass.
    EXPECT_TRUE(Find<QLabel>("lblRecommendation")
                    ->text()
                    .startsWith("Recommended: gain 0xA, hysteresis off (passing from 0x8 to 0xC; "
                                "margin 3 steps below, 3 steps above;"))
        << Find<QLabel>("lblRecommendation")->text().toStdString();
    EXPECT_EQ(Cell("tblSweep", 0, 2), "at least 255");
    EXPECT_EQ(Chip().Peek(0x08), 0xCC) << "written back";
    Click("cmdApply");
    EXPECT_EQ(Chip().Peek(0x08), 0xCA);
    EXPECT_EQ(Find<QLabel>("lblSweepStatus")->text(),
              "Applied gain 0xA, hysteresis off to channel C.");

    QTemporaryDir dir;
    window->SetSaveFileChooser([&dir](const QString&, const QString& filter) {
        return dir.filePath(filter.startsWith("CSV") ? "sweep" : "map.png");
    });
    Click("cmdExportCsv");
    Click("cmdExportPng");
    QFile csv(dir.filePath("sweep.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 17);
    EXPECT_GT(QFile(dir.filePath("map.png")).size(), 0);
}

TEST_F(LinkMarginWindow, CancelWritesBackAtOnceToTheSweptChipAndRecommendsNothing) {
    window->show();
    Write(0x09, 0x04);
    StartSweep(0, 1.0, true);
    RunSweep(300);  // a few points into the crossed sweep
    ASSERT_TRUE(window->Sweeping());
    EXPECT_NE(Chip().Peek(0x07), 0xCC);
    link.SetI2CAddress(0x8A);  // the main window moves on to another address meanwhile
    Click("cmdSweepCancel");
    EXPECT_FALSE(window->Sweeping());
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    EXPECT_EQ(Chip().Peek(0x03), 0x12);
    EXPECT_TRUE(Find<QLabel>("lblSweepStatus")->text().startsWith("Cancelled after "));
    EXPECT_FALSE(Find<QPushButton>("cmdApply")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("cmdSweepStart")->isEnabled());
}

TEST_F(LinkMarginWindow, ASweepStopsTheMonitorAndRefusesAChannelNotSelected) {
    window->show();
    Write(0x09, 0x04);
    Click("cmdMonitorStart");
    ASSERT_TRUE(window->Monitoring());
    presenter.Script({link::AnswerOk});
    StartSweep(1, 0.1, false);
    EXPECT_FALSE(window->Monitoring());
    EXPECT_FALSE(window->Sweeping());
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].text,
              "Channel B is not the selected channel: register 0x02 selects channel A, and the "
              "error counters count the selected channel only.");
    EXPECT_EQ(Chip().WriteLog().size(), 1u) << "nothing written but the checker";
}

TEST_F(LinkMarginWindow, OneWindowAtATime) {
    window.reset();
    ui::ToolWindows tools;
    auto* first = tools.Show<ui::FrmLinkMargin>(link, hub, presenter);
    EXPECT_EQ(tools.Show<ui::FrmLinkMargin>(link, hub, presenter), first);
    first->close();
    EXPECT_EQ(tools.Find<ui::FrmLinkMargin>(), nullptr) << "closed is gone, deleted or not";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Closed by their owner in the middle of a sweep: gone at once, the registers back.
    Write(0x09, 0x04);
    auto* start = tools.Show<ui::FrmLinkMargin>(link, hub, presenter)
                      ->findChild<QPushButton*>("cmdSweepStart");
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(Chip().Peek(0x07), 0xC0);
    tools.CloseAll();
    EXPECT_EQ(tools.Find<ui::FrmLinkMargin>(), nullptr);
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
}

// On the real clock the sweep runs from its own timer and the window's event loop.
class LinkMarginRealTime : public LinkMarginWindow {
  protected:
    LinkMarginRealTime() : LinkMarginWindow(board::Clock::Real()) {}
};

TEST_F(LinkMarginRealTime, TheTimerDrivesTheSweepToItsEnd) {
    window->show();
    Write(0x09, 0x04);
    StartSweep(0, 0.1, false);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window->Sweeping(); }, 10000));
    EXPECT_EQ(Find<QTableWidget>("tblSweep")->rowCount(), 16);
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
    EXPECT_EQ(window->Sweep()->Result().recommendation->point.gain, 0x6);
}

}  // namespace
}  // namespace vrq::test
