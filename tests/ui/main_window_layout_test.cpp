// The main window as laid out: a few representative places at 96 dpi, names, captions, states,
// the keyboard order and the menu.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

#include "device/register_map.h"
#include "main_window_fixture.h"

namespace vrq::test {
namespace {

class MainWindowLayout : public MainWindowTest {
  protected:
    void SetUp() override {
        Start();
        window->ShowTestTabs(true);
        tabs = Find<QTabWidget>("SSTab1");
    }

    // The place of a control in pixels, relative to the tabbed control (controls on a page)
    // or to its frame.
    QRect OnTabs(const QString& name) const {
        QWidget* control = Find(name);
        return {control->mapTo(tabs, QPoint(0, 0)), control->size()};
    }
    QRect InParent(const char* name) const { return Find(name)->geometry(); }

    QTabWidget* tabs = nullptr;
};

TEST_F(MainWindowLayout, WindowCaptionSizeBorderIconAndLogo) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("VRQ66208A Evaluation Software"));
    EXPECT_EQ(window->centralWidget()->size(), QSize(599, 423));  // 8985 x 6345 twips
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->height(), window->menuBar()->height() + 423 + window->statusBar()->height());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(Find<QLabel>("Picture1")->pixmap().size(), QSize(145, 48));
    EXPECT_EQ(InParent("SSTab1"), QRect(8, 8, 585, 409));
}

TEST_F(MainWindowLayout, RepresentativeControlsSitWhereDesigned) {
    struct Place {
        int tab;  // the page shown; -1: the place is relative to the control's frame
        const char* name;
        QRect pixels;
    };
    const std::vector<Place> places{
        {0, "txtRegVal_0", {168, 48, 22, 19}},    {0, "lblRegAdd_7", {16, 216, 145, 17}},
        {0, "lblRegAdd_16", {200, 168, 147, 17}}, {0, "txtRegVal_16", {352, 168, 22, 19}},
        {0, "cmdQuit", {464, 312, 81, 41}},       {0, "fraEVBinstance", {296, 280, 145, 105}},
        {-1, "cboEVBinstance", {88, 24, 41, 21}}, {-1, "chkADDRbit_6", {16, 40, 41, 17}},
        {-1, "chkADDRbit_0", {16, 136, 41, 17}},  {-1, "txtWriteIndividual_1", {144, 16, 22, 19}},
        {1, "txtRegVal_22", {208, 272, 22, 19}},  {2, "cboSMBusFrequency", {232, 288, 81, 21}},
        {2, "chkBurstRead", {136, 56, 193, 25}},
    };
    for (const Place& p : places) {
        if (p.tab >= 0) {
            tabs->setCurrentIndex(p.tab);
        }
        EXPECT_EQ(p.tab >= 0 ? OnTabs(QString::fromLatin1(p.name)) : InParent(p.name), p.pixels)
            << p.name;
    }
    // The lowest control stays inside its page.
    QWidget* frame = Find("fraEVBinstance");
    EXPECT_TRUE(frame->parentWidget()->rect().contains(frame->geometry()));
}

TEST_F(MainWindowLayout, RegisterLabelsCarryTheMapsCaptions) {
    EXPECT_EQ(Find<QLabel>("lblRegAdd_2")->text(), QStringLiteral("Channel Select  (0x02)"));
    for (int i = 0; i < ui::RegisterPanel::kLabelCount; ++i) {
        auto* label = Find<QLabel>(QStringLiteral("lblRegAdd_%1").arg(i));
        const auto caption = device::CaptionByLabelIndex(i);
        ASSERT_TRUE(caption);
        EXPECT_EQ(label->text().toStdString(), *caption);
        EXPECT_TRUE(label->alignment().testFlag(Qt::AlignRight));
    }
}

TEST_F(MainWindowLayout, TestTabLabelsStandBesideTheBoxesOfTheRegistersTheyName) {
    tabs->setCurrentIndex(1);
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        if (reg.group != device::RegisterGroup::NamedOnly) {
            continue;
        }
        const QRect label = OnTabs(QStringLiteral("lblRegAdd_%1").arg(reg.labelIndex));
        const QRect box = OnTabs(QStringLiteral("txtRegVal_%1").arg(reg.address));
        EXPECT_EQ(label.top(), box.top()) << reg.caption;
        EXPECT_LT(label.right(), box.left()) << reg.caption;
        EXPECT_GT(label.right() + 10, box.left()) << reg.caption;
    }
    EXPECT_EQ(Find<QLabel>("lblRegAdd_14")->text(), QStringLiteral("Termination Trim (0x11)"));
    for (int box = 13; box <= 15; ++box) {
        EXPECT_TRUE(RegBox(box)->isHidden());
    }
    EXPECT_TRUE(RegBox(22)->isVisible());
}

TEST_F(MainWindowLayout, BoxesTakeTwoCharactersAndTheReadOnlyOnesAreGrey) {
    const std::vector<int> readOnly{0, 1, 10, 11, 12};
    for (int i = 0; i < ui::RegisterPanel::kBoxCount; ++i) {
        QLineEdit* box = RegBox(i);
        EXPECT_EQ(box->maxLength(), 2) << i;
        EXPECT_TRUE(box->text().isEmpty()) << i;
        const bool disabled = std::find(readOnly.begin(), readOnly.end(), i) != readOnly.end();
        EXPECT_EQ(box->isEnabled(), !disabled) << i;
        if (disabled) {
            EXPECT_EQ(box->palette().color(QPalette::Disabled, QPalette::Base),
                      box->palette().color(QPalette::Active, QPalette::Button));
        }
    }
    EXPECT_EQ(Box("txtRegister")->text(), QStringLiteral("00"));
    EXPECT_FALSE(Box("txtReadIndividual")->isEnabled());
    EXPECT_FALSE(Box("txtI2Caddress")->isEnabled());

    // Every box that only shows values draws them as dark as an editable box does.
    const auto darkest = [](QLineEdit* box) {
        box->setText(QStringLiteral("88"));
        const QImage image = box->grab().toImage();
        int gray = 255;
        for (int y = 3; y < image.height() - 3; ++y) {
            for (int x = 3; x < image.width() - 3; ++x) {
                gray = std::min(gray, qGray(image.pixel(x, y)));
            }
        }
        return gray;
    };
    const int editable = darkest(RegBox(2));
    std::vector<QLineEdit*> showOnly{Box("txtReadIndividual"), Box("txtI2Caddress")};
    for (const int i : readOnly) {
        showOnly.push_back(RegBox(i));
    }
    for (QLineEdit* box : showOnly) {
        EXPECT_LE(darkest(box), editable + 16) << box->objectName().toStdString();
    }
    EXPECT_EQ(Box("txtI2Caddress")->maxLength(), 2);
    EXPECT_TRUE(Find<QCheckBox>("chkBurstRead")->isChecked());
}

TEST_F(MainWindowLayout, KeyboardOrderFollowsTheTabIndices) {
    // Along the focus chain from the tabbed control (index 0), the designed controls come in
    // rising tab index.
    int last = 0;
    int seen = 0;
    for (QWidget* w = tabs->nextInFocusChain(); w != tabs; w = w->nextInFocusChain()) {
        const QVariant index = w->property("tabIndex");
        if (!index.isValid() || (w->focusPolicy() & Qt::TabFocus) == 0) {
            continue;
        }
        EXPECT_GT(index.toInt(), last) << w->objectName().toStdString();
        last = index.toInt();
        ++seen;
    }
    EXPECT_EQ(seen, 48);

    // Tab from the instance list: Reconnect, then past the hidden tab's button to Write 0.
    tabs->setCurrentIndex(0);
    window->ShowTestTabs(false);
    Find("cboEVBinstance")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("cmdReconnect"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("cmdWriteIndividual_0"));
}

TEST_F(MainWindowLayout, MenuCaptionsAndShortcuts) {
    auto* file = Find<QMenu>("mnuFile");
    EXPECT_EQ(file->title(), QStringLiteral("&File"));
    const QList<QAction*> entries = file->actions();
    ASSERT_EQ(entries.size(), 4);
    const std::vector<std::pair<QString, QKeySequence>> expected{
        {QStringLiteral("&Save Registers"), QKeySequence(Qt::CTRL | Qt::Key_S)},
        {QStringLiteral("Load Registers"), QKeySequence(Qt::CTRL | Qt::Key_O)},
        {QStringLiteral("About"), QKeySequence()},
        {QStringLiteral("&Exit"), QKeySequence(Qt::CTRL | Qt::Key_T)}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i]->text(), expected[i].first);
        EXPECT_EQ(entries[i]->shortcut(), expected[i].second);
    }
    const QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    EXPECT_EQ(bar[0]->menu(), file);
    const std::vector<std::pair<QString, QString>> windows{
        {QStringLiteral("mnuRegisterDefinitions"), QStringLiteral("Register Definitions")},
        {QStringLiteral("mnuBusTrace"), QStringLiteral("Bus &Trace")},
        {QStringLiteral("mnuLinkMargin"), QStringLiteral("Link &Margin")}};
    for (std::size_t i = 0; i < windows.size(); ++i) {
        EXPECT_EQ(bar[static_cast<int>(i) + 1]->objectName(), windows[i].first);
        EXPECT_EQ(bar[static_cast<int>(i) + 1]->text(), windows[i].second);
    }
}

}  // namespace
}  // namespace vrq::test
