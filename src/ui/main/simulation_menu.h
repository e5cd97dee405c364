// The "Simulation" menu, present only on simulated boards: each board unplugged and plugged
// in again, and each fault the command line's --simulate-fault knows injected now, so that
// demonstrations and desktop tests meet every failure with the mouse. The window knows the
// simulator only through SimulatedBoards.
#pragma once

#include <QObject>

#include <cstddef>
#include <string>
#include <vector>

class QAction;
class QMenuBar;

namespace vrq::ui {

class SimulatedBoards {
  public:
    virtual ~SimulatedBoards() = default;
    virtual std::size_t Count() const = 0;
    virtual bool Plugged(std::size_t board) const = 0;
    virtual void Unplug(std::size_t board) = 0;
    virtual void Plug(std::size_t board) = 0;
    struct Fault {
        std::string name;  // as --simulate-fault spells it
        std::string what;  // what it does, for the menu
    };
    virtual std::vector<Fault> Faults() const = 0;
    virtual void Inject(std::size_t board, const std::string& fault) = 0;
};

class SimulationMenu : public QObject {
  public:
    SimulationMenu(QMenuBar& bar, SimulatedBoards& boards);

  private:
    // Unplug for the boards plugged in, Plug in for the others.
    void ShowPlugs();

    SimulatedBoards& boards_;
    struct Plugs {
        QAction* unplug;
        QAction* plug;
    };
    std::vector<Plugs> plugs_;
};

}  // namespace vrq::ui
