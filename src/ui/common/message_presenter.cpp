#include "ui/common/message_presenter.h"

#include <QMessageBox>
#include <QString>

#include <ostream>

namespace vrq::ui {

link::MessageAnswer QtMessagePresenter::Show(QWidget* parent, const std::string& text,
                                             link::MessageButtons buttons,
                                             const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton, parent);
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    QMessageBox::StandardButton escapeButton = QMessageBox::Cancel;
    switch (buttons) {
        case link::MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            escapeButton = QMessageBox::Ok;
            break;
        case link::MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case link::MessageButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            defaultButton = QMessageBox::Retry;
            break;
        case link::MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            defaultButton = QMessageBox::Yes;
            escapeButton = QMessageBox::No;
            break;
    }
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escapeButton);
    box.exec();
    auto* clicked = box.clickedButton();
    const auto pressed = clicked != nullptr ? box.standardButton(clicked) : QMessageBox::NoButton;
    switch (pressed) {
        case QMessageBox::Ok:
            return link::AnswerOk;
        case QMessageBox::Retry:
            return link::AnswerRetry;
        case QMessageBox::Yes:
            return link::AnswerYes;
        case QMessageBox::No:
            return link::AnswerNo;
        default:
            break;
    }
    if (buttons == link::MessageButtons::YesNo) {
        return link::AnswerNo;
    }
    return buttons == link::MessageButtons::Ok ? link::AnswerOk : link::AnswerCancel;
}

LoggingMessagePresenter::LoggingMessagePresenter(std::ostream& log,
                                                 std::unique_ptr<MessagePresenter> shown)
    : log_(log), shown_(std::move(shown)) {}

link::MessageAnswer LoggingMessagePresenter::Show(QWidget* parent, const std::string& text,
                                                  link::MessageButtons buttons,
                                                  const std::string& title) {
    std::string line = text;
    for (std::size_t at = line.find("\r\n"); at != std::string::npos; at = line.find("\r\n", at)) {
        line.replace(at, 2, " / ");
    }
    log_ << "message: " << title << ": " << line << std::endl;
    const link::MessageAnswer answer = shown_->Show(parent, text, buttons, title);
    static constexpr const char* kNames[] = {"", "OK", "Cancel", "", "Retry", "", "Yes", "No"};
    log_ << "answer: " << (answer >= 1 && answer <= 7 ? kNames[answer] : "?") << std::endl;
    return answer;
}

}  // namespace vrq::ui
