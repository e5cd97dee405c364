// The register definitions dialog against the register map's texts, driven by real clicks.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>

#include "device/register_map.h"
#include "ui/common/tool_windows.h"
#include "ui/regdef/frm_reg_def.h"

namespace vrq::test {
namespace {

using ui::FrmRegDef;

// What the box holds after registertext(index): every line followed by CR LF.
std::string ExpectedText(int index) {
    std::string text;
    for (const auto line : device::TextByButtonIndex(index)) {
        text.append(line).append("\r\n");
    }
    return text;
}

void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class RegDefTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (auto* open = tools.Find<FrmRegDef>()) {
            open->close();
        }
        FlushDeletes();
    }
    QRadioButton* Button(int index) {
        return dialog->findChild<QRadioButton*>(QStringLiteral("regbutton_%1").arg(index));
    }
    QPushButton* Push(const char* name) {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QPlainTextEdit* Text1() { return dialog->findChild<QPlainTextEdit*>(QStringLiteral("Text1")); }
    // On the indicator: a radio button takes clicks only on its indicator and caption.
    static void Click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    std::string Content() { return dialog->Text1Content().toStdString(); }

    ui::ToolWindows tools;
    QPointer<FrmRegDef> dialog = tools.Show<FrmRegDef>();
};

TEST_F(RegDefTest, OpensOnRegister00WithOneScreenLinePerTextLine) {
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Button(0)->isChecked());
    EXPECT_EQ(Content(), ExpectedText(0));
    EXPECT_TRUE(Content().starts_with("Register 0x00, Device ID and Revision\r\n"));
    EXPECT_TRUE(Content().ends_with("\r\n\r\n"));

    // Each CR LF is one line break on screen: the 12 lines, then the empty line after the
    // last break, and no carriage return left over.
    QTextBlock block = Text1()->document()->begin();
    for (const auto line : device::TextByButtonIndex(0)) {
        EXPECT_EQ(block.text().toStdString(), line);
        block = block.next();
    }
    EXPECT_TRUE(block.text().isEmpty());
    EXPECT_FALSE(block.next().isValid());
    EXPECT_FALSE(Text1()->toPlainText().contains(QLatin1Char('\r')));
}

TEST_F(RegDefTest, EverySelectionReplacesTheText) {
    Click(Button(13));
    EXPECT_FALSE(Button(0)->isChecked());
    EXPECT_TRUE(Content().starts_with("Register 0x10, PLL Settings\r\n"));
    for (int i = 0; i < FrmRegDef::kButtonCount; ++i) {
        Click(Button(i));
        EXPECT_EQ(dialog->SelectedButton(), i);
        EXPECT_EQ(Content(), ExpectedText(i)) << "button " << i;
    }

    // What the user types goes at the next selection, made with the keyboard this time.
    Text1()->setFocus();
    EXPECT_EQ(Text1()->textCursor().position(), 0) << "a new text is read from its top";
    QTest::keyClicks(Text1(), QStringLiteral("my note"));
    EXPECT_TRUE(Content().starts_with("my note")) << Content();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    Button(13)->setFocus();
    QTest::keyClick(Button(13), Qt::Key_Up);
    EXPECT_TRUE(Button(12)->isChecked());
    EXPECT_EQ(Content(), ExpectedText(12));

    for (int index : {14, -1, 32767}) {
        dialog->registertext(index);
        EXPECT_EQ(Content(), "Please select a valid register.") << index;
    }
}

TEST_F(RegDefTest, OneInstanceUntilOkOrCancel) {
    Click(Button(5));
    dialog->hide();  // as if behind other windows
    EXPECT_EQ(tools.Show<FrmRegDef>(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Button(5)->isChecked());
    EXPECT_EQ(Content(), ExpectedText(5));

    QTest::keyClick(dialog, Qt::Key_Escape);  // no cancel button: Escape closes nothing
    EXPECT_TRUE(dialog->isVisible());

    for (const char* name : {"OKButton", "CancelButton"}) {
        Click(Button(9));
        Click(Push(name));
        EXPECT_EQ(tools.Find<FrmRegDef>(), nullptr) << name;
        FlushDeletes();
        EXPECT_TRUE(dialog.isNull()) << name;

        dialog = tools.Show<FrmRegDef>();
        EXPECT_TRUE(Button(0)->isChecked()) << name;
        EXPECT_EQ(Content(), ExpectedText(0)) << name;
    }
}

TEST_F(RegDefTest, ReturnPressesOnlyAButtonThatHasTheFocus) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    EXPECT_FALSE(Push("OKButton")->isDefault());
    EXPECT_FALSE(Push("CancelButton")->isDefault());
    Click(Button(3));
    ASSERT_TRUE(Button(3)->hasFocus());
    QTest::keyClick(Button(3), Qt::Key_Return);
    QTest::keyClick(Button(3), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Content(), ExpectedText(3));

    Push("CancelButton")->setFocus();
    QTest::keyClick(Push("CancelButton"), Qt::Key_Return);
    EXPECT_EQ(tools.Find<FrmRegDef>(), nullptr);
}

TEST_F(RegDefTest, LayoutSpotCheckAndTabOrder) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("VRQ6620x Registers"));
    EXPECT_EQ(dialog->size(), QSize(578, 437));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_FALSE(dialog->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(Text1()->geometry(), QRect(8, 8, 329, 417));
    EXPECT_EQ(Text1()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(Push("OKButton")->geometry(), QRect(472, 392, 81, 25));
    // Places as laid out; a caption too wide for the font at hand may run on to the frame's
    // edge, never beyond it.
    auto* regsel = dialog->findChild<QWidget*>(QStringLiteral("regsel"));
    EXPECT_EQ(regsel->geometry(), QRect(360, 8, 209, 369));
    for (int i = 0; i < FrmRegDef::kButtonCount; ++i) {
        const QRect place = Button(i)->geometry();
        EXPECT_EQ(place.topLeft(), QPoint(24, 32 + 24 * i)) << i;
        EXPECT_GE(place.width(), i == 6 ? 169 : 153) << i;
        EXPECT_LT(place.right(), regsel->width()) << i;
    }
    EXPECT_EQ(Button(6)->text(), QStringLiteral("Output Drive and PreEmphasis"));

    // Tab: the text, the buttons from the bottom one up, Cancel, OK (inner parts passed over).
    std::vector<QWidget*> order{Text1()};
    for (int i = FrmRegDef::kButtonCount - 1; i >= 0; --i) {
        order.push_back(Button(i));
    }
    order.push_back(Push("CancelButton"));
    order.push_back(Push("OKButton"));
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while ((next->focusPolicy() & Qt::TabFocus) == 0 || next->focusProxy() != nullptr) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, order[i + 1]) << i;
    }
}

}  // namespace
}  // namespace vrq::test
