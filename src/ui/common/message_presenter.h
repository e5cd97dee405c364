// How the windows show a modal message. The main window shows every message of the board
// link and of its own through one presenter; tests install a scripted one, since a real
// message box would wait forever for a click.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "ui/link/link_host.h"

class QWidget;

namespace vrq::ui {

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // Modal over parent; returns the button pressed (closing the box counts as Cancel, or No
    // for Yes/No). title is the box's caption.
    virtual link::MessageAnswer Show(QWidget* parent, const std::string& text,
                                     link::MessageButtons buttons, const std::string& title) = 0;
};

// QMessageBox, no icon, default button as the board link expects (Retry, Yes, OK).
class QtMessagePresenter : public MessagePresenter {
  public:
    link::MessageAnswer Show(QWidget* parent, const std::string& text, link::MessageButtons buttons,
                             const std::string& title) override;
};

// Shows each message through another presenter and writes it to a stream as well, one line
// before it shows ("message: TITLE: TEXT", its line breaks as " / ") and one with the answer
// ("answer: Retry"): what the program said stays in the session's log.
class LoggingMessagePresenter : public MessagePresenter {
  public:
    LoggingMessagePresenter(std::ostream& log, std::unique_ptr<MessagePresenter> shown);
    link::MessageAnswer Show(QWidget* parent, const std::string& text, link::MessageButtons buttons,
                             const std::string& title) override;

  private:
    std::ostream& log_;
    std::unique_ptr<MessagePresenter> shown_;
};

}  // namespace vrq::ui
