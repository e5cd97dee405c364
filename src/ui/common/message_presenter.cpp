#include "ui/common/message_presenter.h"

#include <QMessageBox>
#include <QString>

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

}  // namespace vrq::ui
