#include "ui/regdef/frm_reg_def.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTextCursor>
#include <algorithm>
#include <memory>

#include "device/register_map.h"
#include "ui/common/twips.h"

namespace vrq::ui {
namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FrmRegDef::FrmRegDef()
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmRegDef"));
    setWindowTitle(QStringLiteral("VRQ6620x Registers"));
    setFixedSize(Px(8670), Px(6555));
    setSizeGripEnabled(false);

    Text1_.setObjectName(QStringLiteral("Text1"));
    Text1_.setGeometry(Tw(120, 120, 4935, 6255));
    Text1_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1_.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1_.setTabChangesFocus(true);

    regsel_.setObjectName(QStringLiteral("regsel"));
    regsel_.setTitle(QStringLiteral("Register"));
    regsel_.setGeometry(Tw(5400, 120, 3135, 5535));

    group_.setExclusive(true);
    for (int i = 0; i < kButtonCount; ++i) {
        auto& button = regbutton_[static_cast<std::size_t>(i)];
        button.setParent(&regsel_);
        button.setObjectName(QStringLiteral("regbutton_%1").arg(i));
        button.setText(FromView(device::ButtonCaption(i).value_or("")));
        // A caption wider than its place in the font at hand runs on towards the frame's
        // edge instead of being cut; the button has no background, so nothing else shows.
        const int place = Px(i == 6 ? 2535 : 2295);
        const int room = std::max(place, regsel_.width() - Px(360) - 2);
        button.setGeometry(Px(360), Px(480 + 360 * i),
                           std::clamp(button.sizeHint().width(), place, room), Px(255));
        group_.addButton(&button, i);
    }
    regbutton_[0].setChecked(true);

    CancelButton_.setObjectName(QStringLiteral("CancelButton"));
    CancelButton_.setText(QStringLiteral("Cancel"));
    CancelButton_.setGeometry(Tw(5520, 5880, 1215, 375));
    OKButton_.setObjectName(QStringLiteral("OKButton"));
    OKButton_.setText(QStringLiteral("OK"));
    OKButton_.setGeometry(Tw(7080, 5880, 1215, 375));
    // Neither button is the dialog's default: Return on an option button or in the text must
    // not close it. (A dialog makes its first push button a default unless told otherwise.)
    CancelButton_.setAutoDefault(false);
    OKButton_.setAutoDefault(false);

    // Tab order: the text, the buttons from the bottom one up, Cancel, OK.
    QWidget* previous = &Text1_;
    for (int i = kButtonCount - 1; i >= 0; --i) {
        setTabOrder(previous, &regbutton_[static_cast<std::size_t>(i)]);
        previous = &regbutton_[static_cast<std::size_t>(i)];
    }
    setTabOrder(previous, &CancelButton_);
    setTabOrder(&CancelButton_, &OKButton_);

    // A click, or an arrow key that moves the selection (Qt clicks the new button), selects.
    connect(&group_, &QButtonGroup::idClicked, this, &FrmRegDef::regbutton_Click);
    connect(&OKButton_, &QPushButton::clicked, this, &FrmRegDef::OKButton_Click);
    connect(&CancelButton_, &QPushButton::clicked, this, &FrmRegDef::CancelButton_Click);

    Form_Load();
}

FrmRegDef::~FrmRegDef() {}

void FrmRegDef::Form_Load() {
    registertext(0);
}

void FrmRegDef::regbutton_Click(int index) {
    registertext(index);
}

void FrmRegDef::OKButton_Click() {
    close();
}

void FrmRegDef::CancelButton_Click() {
    close();
}

void FrmRegDef::registertext(int index) {
    // The old text leaves the screen before the new one is built.
    Text1_.clear();
    Text1_.viewport()->repaint();
    if (index < 0 || index >= kButtonCount) {
        Text1_.setPlainText(QString::fromLatin1(kInvalidRegisterText));
        return;
    }
    // Built line by line; the reader starts at the top, and undo cannot step back into a
    // half-built or previous register's text.
    Text1_.setUndoRedoEnabled(false);
    for (const auto line : device::TextByButtonIndex(index)) {
        Writeregdef(FromView(line), kLineBreak);
    }
    Text1_.setUndoRedoEnabled(true);
    // Appending carried the caret to the end; the reader (and the first key) start at the top.
    Text1_.moveCursor(QTextCursor::Start);
}

void FrmRegDef::Writeregdef(const QString& line, const QString& terminator) {
    // Appended at the document's end whatever the caret's place. The document turns CR LF
    // into a single paragraph break.
    QTextCursor cursor(Text1_.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(line + terminator);
}

QString FrmRegDef::Text1Content() const {
    QString text = Text1_.toPlainText();
    text.replace(QLatin1Char('\n'), kLineBreak);
    return text;
}

int FrmRegDef::SelectedButton() const {
    return group_.checkedId();
}

void FrmRegDef::closeEvent(QCloseEvent* event) {
    // Closed means gone: the next opening builds a new dialog even before this one is deleted.
    QDialog::closeEvent(event);
}

void FrmRegDef::keyPressEvent(QKeyEvent* event) {
    // No button of this dialog is its cancel button, so Escape closes nothing.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    // Return presses a button only when that button has the focus.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
        event->accept();
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vrq::ui
