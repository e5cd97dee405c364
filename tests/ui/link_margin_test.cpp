// The link-margin window on a simulated board. Most tests run the board on a virtual clock
// and call the window's timer handlers after moving it; the last runs the sweep on its own
// timer in real time.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "main_window_fixture.h"
#include "margin/margin_text.h"
#include "sim/virtual_clock.h"
#include "ui/common/tool_windows.h"
#include "ui/margin/compare_window.h"
#include "ui/margin/frm_link_margin.h"
#include "ui/margin/monitor_panel.h"
#include "ui/margin/plot_view.h"
#include "ui/margin/sweep_panel.h"

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
        Find<QComboBox>("cboMeasure")->setCurrentIndex(1);  // a fixed dwell
        Find<QDoubleSpinBox>("spnDwell")->setValue(dwell);
        Find<QCheckBox>("chkHysteresis")->setChecked(hysteresis);
        Click("cmdSweepStart");
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
    EXPECT_TRUE(Find<QLabel>("lblTarget")->text().contains("chip 0x44"))
        << Find<QLabel>("lblTarget")->text().toStdString();
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
    EXPECT_EQ(window->MonitorTab().History().Records().size(), 3u) << "two polls and the Read All";
    EXPECT_FALSE(Find<ui::PlotView>("plotHistory")->Empty());

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
    auto* second = tools.Show<ui::FrmLinkMargin>(link, hub, presenter);
    QTest::mouseClick(second->findChild<QPushButton*>("cmdSweepStart"), Qt::LeftButton);
    // Past the look at the source, into the first point.
    virtualClock_.Advance(margin::ChannelSweeps::kSourceLook + milliseconds(20));
    second->SweepTick();
    EXPECT_EQ(Chip().Peek(0x07), 0xC0);
    tools.CloseAll();
    EXPECT_EQ(tools.Find<ui::FrmLinkMargin>(), nullptr);
    EXPECT_EQ(Chip().Peek(0x07), 0xCC);
}

// Every channel with a clock in one run: the rate locked meanwhile, one hysteresis and each
// channel's gain recommended and applied, verified, and the whole run in a report folder.
TEST_F(LinkMarginWindow, AllChannelsApplyVerifyAndReport) {
    window->show();
    Write(0x09, 0x04);
    StartSweep(ui::SweepPanel::kAllChannels, 0.1, false);
    ASSERT_TRUE(window->Sweeping());
    EXPECT_FALSE(Find<QDoubleSpinBox>("spnRate")->isEnabled()) << "the rate is locked";
    RunSweep();
    EXPECT_TRUE(Find<QDoubleSpinBox>("spnRate")->isEnabled());
    ASSERT_GT(window->Sweeps()->Results().size(), 1u);
    const QString recommended = Find<QLabel>("lblRecommendation")->text();
    EXPECT_TRUE(
        recommended.startsWith("Recommended for all channels: hysteresis off; channel A "
                               "gain 0x6"))
        << recommended.toStdString();
    EXPECT_FALSE(Find<ui::PlotView>("plotBathtub")->Empty());
    EXPECT_FALSE(Find<ui::PlotView>("plotHeatMap")->Empty());

    Click("cmdApply");
    EXPECT_EQ(Chip().Peek(0x07) & 0x0F, 0x6);
    Find<QComboBox>("cboTarget")->setCurrentIndex(0);  // 1e-6: a short verification
    Click("cmdVerify");
    for (int step = 0; window->Sweeping() && step < 100000; ++step) {
        virtualClock_.Advance(milliseconds(20));
        window->SweepTick();
    }
    EXPECT_TRUE(Find<QLabel>("lblVerify")->text().startsWith("PASS: "))
        << Find<QLabel>("lblVerify")->text().toStdString();

    QTemporaryDir dir;
    window->SetFolderChooser([&dir](const QString&) { return dir.path(); });
    Find<QLineEdit>("txtLabel")->setText("cable 2 m");
    Click("cmdExportReport");
    for (const char* file :
         {"index.html", "run.json", "points.csv", "bathtub-A.png", "heatmap-A.png"}) {
        EXPECT_TRUE(QFile::exists(dir.filePath(file))) << file;
    }
    QFile html(dir.filePath("index.html"));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QByteArray page = html.readAll();
    EXPECT_TRUE(page.contains("PASS")) << "the verify result is in the report";
    EXPECT_FALSE(QImage(dir.filePath("bathtub-A.png")).isNull());
}

// Compare overlays this run and a saved one, and says first when they were not measured alike.
TEST_F(LinkMarginWindow, CompareSaysRunsAtDifferentRatesDiffer) {
    window->show();
    Write(0x09, 0x04);
    StartSweep(0, 0.1, false);
    RunSweep();
    QTemporaryDir dir;
    window->SetFolderChooser([&dir](const QString&) { return dir.filePath("first"); });
    Click("cmdExportReport");
    ASSERT_TRUE(QFile::exists(dir.filePath("first/run.json")));

    Find<QDoubleSpinBox>("spnRate")->setValue(297.0);
    StartSweep(0, 0.1, false);
    RunSweep();
    window->SetOpenFilesChooser([&dir](const QString&, const QString&) {
        return QStringList{dir.filePath("first/run.json")};
    });
    Click("cmdCompare");
    auto* compare = window->findChild<ui::CompareWindow*>();
    ASSERT_NE(compare, nullptr);
    EXPECT_EQ(compare->Runs().size(), 2u);
    const QString differences =
        compare->findChild<QLabel*>(QStringLiteral("lblDifferences"))->text();
    EXPECT_TRUE(differences.contains("rate")) << differences.toStdString();
    EXPECT_NE(compare->findChild<ui::PlotView*>(QStringLiteral("plotCompareA")), nullptr);
}

// The monitor's whole run goes out as CSV or JSON Lines, a row per reading.
TEST_F(LinkMarginWindow, MonitorExportsEveryReading) {
    window->show();
    Write(0x09, 0x04);
    Click("cmdMonitorStart");
    for (int poll = 0; poll < 5; ++poll) {
        virtualClock_.Advance(milliseconds(1000));
        window->MonitorTick();
        if (poll == 2) {
            Write(0x07, 0xC9);  // a setting changes: a marker and a new segment
        }
    }
    Click("cmdMonitorStop");
    const std::size_t readings = window->MonitorTab().History().Records().size();
    ASSERT_EQ(readings, 5u);
    EXPECT_GE(Find<QTableWidget>("tblSegments")->rowCount(), 2);
    QTemporaryDir dir;
    for (const char* name : {"run.csv", "run.jsonl"}) {
        window->SetSaveFileChooser(
            [&](const QString&, const QString&) { return dir.filePath(name); });
        Click("cmdMonitorExport");
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray text = file.readAll();
        const bool csv = QByteArray(name).endsWith(".csv");
        EXPECT_EQ(static_cast<std::size_t>(text.count('\n')), readings + (csv ? 1 : 0)) << name;
        EXPECT_TRUE(text.contains("T")) << "wall-clock time, ISO 8601";
    }
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
    EXPECT_EQ(window->Sweeps()->Results().front().recommendation->point.gain, 0x6);
}

}  // namespace
}  // namespace vrq::test
