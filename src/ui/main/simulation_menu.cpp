#include "ui/main/simulation_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace vrq::ui {

SimulationMenu::SimulationMenu(QMenuBar& bar, SimulatedBoards& boards)
    : QObject(&bar), boards_(boards) {
    QMenu* menu = bar.addMenu(QStringLiteral("&Simulation"));
    menu->setObjectName(QStringLiteral("mnuSimulation"));
    for (std::size_t board = 0; board < boards_.Count(); ++board) {
        QMenu* sub = menu->addMenu(QStringLiteral("Board &%1").arg(board));
        sub->setObjectName(QStringLiteral("mnuSimulationBoard_%1").arg(board));
        QAction* unplug = sub->addAction(QStringLiteral("&Unplug"));
        unplug->setObjectName(QStringLiteral("mnuUnplug_%1").arg(board));
        connect(unplug, &QAction::triggered, this, [this, board] {
            boards_.Unplug(board);
            ShowPlugs();
        });
        QAction* plug = sub->addAction(QStringLiteral("&Plug in"));
        plug->setObjectName(QStringLiteral("mnuPlug_%1").arg(board));
        connect(plug, &QAction::triggered, this, [this, board] {
            boards_.Plug(board);
            ShowPlugs();
        });
        plugs_.push_back({unplug, plug});
        sub->addSeparator();
        for (const SimulatedBoards::Fault& fault : boards_.Faults()) {
            QAction* inject =
                sub->addAction(QString::fromStdString(fault.name) + QStringLiteral(": ") +
                               QString::fromStdString(fault.what));
            inject->setObjectName(QStringLiteral("mnuFault_%1_%2")
                                      .arg(board)
                                      .arg(QString::fromStdString(fault.name)));
            connect(inject, &QAction::triggered, this, [this, board, name = fault.name] {
                boards_.Inject(board, name);
                ShowPlugs();  // some faults pull the plug
            });
        }
    }
    connect(menu, &QMenu::aboutToShow, this, [this] { ShowPlugs(); });
    ShowPlugs();
}

void SimulationMenu::ShowPlugs() {
    for (std::size_t board = 0; board < plugs_.size(); ++board) {
        const bool plugged = boards_.Plugged(board);
        plugs_[board].unplug->setEnabled(plugged);
        plugs_[board].plug->setEnabled(!plugged);
    }
}

}  // namespace vrq::ui
