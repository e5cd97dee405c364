// Renders the windows to PNG files against a simulated board, for people who want to look at
// them without hardware or a display (QT_QPA_PLATFORM=offscreen works).
// Usage: vrq66208a-screenshots DIR
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "margin/compare.h"
#include "margin/plot_model.h"
#include "sim/sim_transport.h"
#include "sim/virtual_clock.h"
#include "ui/about/frm_about.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"
#include "ui/margin/compare_window.h"
#include "ui/margin/frm_link_margin.h"
#include "ui/margin/sweep_panel.h"
#include "ui/plot/plot_painter.h"
#include "ui/regdef/frm_reg_def.h"
#include "ui/trace/frm_trace.h"

namespace {

bool Save(QWidget& widget, const QDir& dir, const QString& name) {
    QApplication::processEvents();
    const QString path = dir.filePath(name);
    if (!widget.grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Nothing in the link-margin shots should ask anything; if something does, no shot is right.
struct NoMessages : vrq::link::LinkHost, vrq::ui::MessagePresenter {
    vrq::link::MessageAnswer ShowMessage(const std::string& text, vrq::link::MessageButtons,
                                         const std::string&) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        std::_Exit(1);
    }
    vrq::link::MessageAnswer Show(QWidget*, const std::string& text,
                                  vrq::link::MessageButtons buttons,
                                  const std::string& title) override {
        return ShowMessage(text, buttons, title);
    }
    void BoardsFound() override {}
    void EndProgram() override { std::_Exit(1); }
    void HandlePendingEvents() override {}
};

bool SaveImage(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The link-margin window with data: a board of its own on a virtual clock, so that half a
// minute of monitoring (channel A a step, then two steps off its gain, then on it) and two
// sweeps crossed with the hysteresis (two cables on channel A) take no time. Then the plots as
// the report has them, and the two runs compared.
bool SaveLinkMargin(const QDir& dir) {
    using std::chrono::milliseconds;
    vrq::sim::VirtualClock clock;
    vrq::sim::SimTransport transport(clock);
    transport.SetZeroLatency(true);
    transport.AddBoard().Chip().SetCables(vrq::sim::DefaultCables());
    NoMessages quiet;
    vrq::board::ExchangeHub hub;
    vrq::link::BoardLink link(transport, quiet, hub, clock);
    link.FindBoards();
    link.SetI2CAddress(vrq::device::kDefaultChipAddressByte);
    auto write = [&link](std::uint8_t reg, std::uint8_t value) {
        link.WriteRegisters(link.I2CAddress(), reg, 1, {&value, 1}, false);
    };
    write(0x09, 0x04);
    vrq::ui::FrmLinkMargin window(link, hub, quiet);
    window.show();
    window.resize(1280, 1000);  // a desktop's size, not the offscreen platform's small screen
    for (const std::uint8_t gain : {0xC9, 0xCA, 0xC6}) {
        write(0x07, gain);
        if (!window.Monitoring()) {
            window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStart"))->click();
        }
        for (int poll = 0; poll < 10; ++poll) {
            clock.Advance(milliseconds(1000));
            window.MonitorTick();
        }
    }
    bool ok = Save(window, dir, QStringLiteral("link_margin_monitor.png"));
    window.findChild<QPushButton*>(QStringLiteral("cmdMonitorStop"))->click();
    window.findChild<QTabWidget*>()->setCurrentIndex(1);
    window.findChild<QCheckBox*>(QStringLiteral("chkHysteresis"))->setChecked(true);
    auto sweep = [&](const char* label) {
        window.findChild<QLineEdit*>(QStringLiteral("txtLabel"))->setText(QString::fromUtf8(label));
        window.findChild<QPushButton*>(QStringLiteral("cmdSweepStart"))->click();
        while (window.Sweeping()) {
            clock.Advance(milliseconds(50));
            window.SweepTick();
        }
        return vrq::margin::SavedRunOf(window.SweepTab().Report(), label);
    };
    std::vector<vrq::margin::SavedRun> runs;
    runs.push_back(sweep("cable 1 m"));
    ok = Save(window, dir, QStringLiteral("link_margin_sweep.png")) && ok;
    const vrq::margin::SweepResult& result = window.SweepTab().Report().sweeps.front();
    const vrq::margin::RunInfo& info = window.SweepTab().Report().info;
    ok = SaveImage(vrq::plot::BathtubImage(
                       vrq::margin::BathtubOf(result, vrq::margin::BathtubCaption(result, info))),
                   dir, QStringLiteral("link_margin_bathtub.png")) &&
         ok;
    ok = SaveImage(vrq::plot::HeatMapImage(
                       vrq::margin::HeatMapOf(result, vrq::margin::HeatMapCaption(result, info))),
                   dir, QStringLiteral("link_margin_heat_map.png")) &&
         ok;

    // A longer cable on channel A: it needs more gain, and its window is narrower.
    vrq::sim::CableSet longer = vrq::sim::DefaultCables();
    longer[0].gain = 0x9;
    longer[0].halfWidth = 1.5;
    transport.Board(0).Chip().SetCables(longer);
    runs.push_back(sweep("cable 5 m"));
    vrq::ui::CompareWindow compare(std::move(runs), nullptr);
    compare.show();
    return Save(compare, dir, QStringLiteral("link_margin_compare.png")) && ok;
}

}  // namespace

int main(int argc, char** argv) {
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    vrq::ui::ApplyApplicationLook(app);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 2;
    }

    vrq::sim::SimTransport transport;
    transport.SetZeroLatency(true);
    transport.AddBoard();
    vrq::ui::FrmMain window(transport);
    // Nothing here should ask anything; if the board link does, the answer is Cancel.
    window.SetEndAction([] {
        std::fprintf(stderr, "the program ended before the screenshots were taken\n");
        std::_Exit(1);
    });
    window.Form_Load();
    window.show();
    window.ShowTestTabs(true);

    bool ok = true;
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    const QStringList names{QStringLiteral("main_registers.png"), QStringLiteral("main_tab1.png"),
                            QStringLiteral("main_tab2.png")};
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        ok = Save(window, dir, names[i]) && ok;
    }
    tabs->setCurrentIndex(0);

    vrq::ui::FrmRegDef* regDef = window.Tools().Show<vrq::ui::FrmRegDef>();
    ok = Save(*regDef, dir, QStringLiteral("register_definitions.png")) && ok;
    regDef->close();

    // The bus trace of a short session, its first read of registers selected.
    auto* trace = window.Tools().Show<vrq::ui::FrmTrace>(window.Trace());
    std::array<std::uint8_t, 13> values{};
    const std::uint8_t chip = vrq::device::kDefaultChipAddressByte;
    window.Link().ReadRegistersOnce(chip, 0x00, values.size(), values);
    window.Link().SetLed(1);
    window.Link().WriteRegistersOnce(chip, 0x03, 1, std::array<std::uint8_t, 1>{0x92});
    window.Link().ReadRegistersOnce(chip, 0x03, 1, values);
    window.Link().ReadFirmwareVersion();
    trace->Refresh();
    for (int row = 0; row < trace->Model().rowCount(); ++row) {
        if (trace->Model().index(row, 2).data().toString().startsWith(QStringLiteral("read"))) {
            trace->findChild<QTableView*>()->selectRow(row);
            break;
        }
    }
    ok = Save(*trace, dir, QStringLiteral("bus_trace.png")) && ok;
    trace->close();

    vrq::ui::FrmAbout about(window.Link(), &window);
    about.show();
    ok = Save(about, dir, QStringLiteral("about.png")) && ok;
    about.hide();
    ok = SaveLinkMargin(dir) && ok;
    return ok ? 0 : 1;
}
