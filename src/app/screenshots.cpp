// Renders the windows to PNG files against a simulated board, for people who want to look at
// them without hardware or a display (QT_QPA_PLATFORM=offscreen works).
// Usage: vrq66208a-screenshots DIR
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "sim/sim_transport.h"
#include "ui/about/frm_about.h"
#include "ui/main/app_look.h"
#include "ui/main/frm_main.h"
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

    vrq::ui::FrmRegDef* regDef = vrq::ui::FrmRegDef::ShowInstance();
    ok = Save(*regDef, dir, QStringLiteral("register_definitions.png")) && ok;
    regDef->close();

    // The bus trace of a short session, its first read of registers selected.
    vrq::ui::FrmTrace* trace = vrq::ui::FrmTrace::ShowInstance(window.Link());
    std::array<std::uint8_t, 13> values{};
    const std::uint8_t chip = vrq::sim::kDefaultChipAddress7 << 1;
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
    return ok ? 0 : 1;
}
