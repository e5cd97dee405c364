// The About dialog on a simulated board, with every message answered by a scripted host.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <algorithm>

#include "support/sim_rig.h"
#include "ui/about/frm_about.h"

namespace vrq::test {
namespace {

using link::AnswerOk;
using link::AnswerRetry;
using ui::FrmAbout;
using ui::ProgramCommand;

constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

class AboutTest : public ::testing::Test, public SimRig {
  protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English));
        link.SetAnswerTimeoutMs(kShortTimeoutMs);
        Connect();
    }
    void TearDown() override { QLocale::setDefault(QLocale(QLocale::English)); }

    template <typename T>
    T* Child(const char* name) {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    void Press(const char* button) {
        QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton);
    }
    // Presses a button with OK scripted for one message; the texts of all messages shown.
    std::vector<std::string> MessagesAfter(const char* button) {
        host.messages.clear();
        host.Script({AnswerOk});
        Press(button);
        std::vector<std::string> texts;
        for (const auto& message : host.messages) {
            EXPECT_EQ(message.buttons, link::MessageButtons::Ok);
            EXPECT_EQ(message.title, "VRQ66208A");
            texts.push_back(message.text);
        }
        return texts;
    }
    std::string FirmwareMessage(const sim::FirmwareInfo& info) {
        sim.Board(0).SetFirmware(info);
        const auto texts = MessagesAfter("cmdFirmwareVersion");
        return texts.size() == 1 ? texts[0] : "messages: " + std::to_string(texts.size());
    }
    using Texts = std::vector<std::string>;

    QWidget owner;
    std::unique_ptr<FrmAbout> dialog = std::make_unique<FrmAbout>(link, &owner);
};

TEST_F(AboutTest, FirmwareVersionMessages) {
    EXPECT_EQ(FirmwareMessage({}), "Firmware Version 1.2 - 2008/March/15");
    EXPECT_EQ(FirmwareMessage({0x21, 2010, 3, 2}), "Firmware Version 2.1 - 2010/March/2");
    EXPECT_EQ(FirmwareMessage({0x0A, 2008, 12, 31}), "Firmware Version 0.10 - 2008/December/31");
    EXPECT_EQ(FirmwareMessage({0xF0, 999, 1, 1}), "Firmware Version 15.0 - 999/January/1");
    // Bytes no sane board sends still show, as numbers.
    EXPECT_EQ(FirmwareMessage({0x12, 40000, 13, 0}), "Firmware Version 1.2 - 40000/13/0");
    EXPECT_EQ(FirmwareMessage({0x12, 2008, 0, 15}), "Firmware Version 1.2 - 2008/0/15");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FirmwareMessage({}), "Firmware Version 1.2 - 2008/M\u00E4rz/15");
    // The month's own name, not the form it takes inside a date ("marca").
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    EXPECT_EQ(FirmwareMessage({}), "Firmware Version 1.2 - 2008/marzec/15");
}

TEST_F(AboutTest, NoAnswerShowsOnlyTheBoardLinksMessage) {
    for (int* fault : {&sim.Board(0).dropAnswers, &sim.Board(0).failWrites}) {
        *fault = 1;
        host.messages.clear();
        host.Script({AnswerRetry});
        Press("cmdFirmwareVersion");
        ASSERT_EQ(host.messages.size(), 1U);
        EXPECT_EQ(host.messages[0].text, "Please check USB connection.\r\ncheckGPstatus");
    }
}

TEST_F(AboutTest, SystemInformationLauncher) {
    std::optional<ProgramCommand> found = ProgramCommand{"/usr/bin/hardinfo", {}};
    std::vector<ProgramCommand> started;
    bool startWorks = true;
    dialog->SetSysInfoLauncher([&] { return found; },
                               [&](const ProgramCommand& command) {
                                   started.push_back(command);
                                   return startWorks;
                               });
    Press("cmdSysInfo");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(started, std::vector<ProgramCommand>{*found});

    startWorks = false;
    EXPECT_EQ(MessagesAfter("cmdSysInfo"), Texts{kUnavailable}) << "found, would not start";
    found.reset();
    started.clear();
    EXPECT_EQ(MessagesAfter("cmdSysInfo"), Texts{kUnavailable}) << "none found";
    EXPECT_TRUE(started.empty());

    // The Windows search with a location key naming a folder without the tool.
    struct Registry : ui::RegistryReader {
        bool GetKeyValue(std::uint32_t, const std::string& key, const std::string&,
                         std::string& value) override {
            value = key == ui::kSysInfoLocationKey ? "C:\\MSInfo" : "";
            return !value.empty();
        }
    } registry;
    dialog->SetSysInfoLauncher(
        [&]() -> std::optional<ProgramCommand> {
            const auto path = ui::FindSysInfoInRegistry(registry, [](auto&) { return false; });
            return path ? std::optional(ProgramCommand{*path, {}}) : std::nullopt;
        },
        [&](const ProgramCommand& command) { return started.push_back(command), true; });
    EXPECT_EQ(MessagesAfter("cmdSysInfo"), Texts{kUnavailable});
    EXPECT_TRUE(started.empty());

    // A real start of a program that is not there.
    dialog->SetSysInfoLauncher(
        [] {
            return ProgramCommand{"/nonexistent/vrq-sysinfo", {}};
        },
        &FrmAbout::StartProgram);
    EXPECT_EQ(MessagesAfter("cmdSysInfo"), Texts{kUnavailable});
}

TEST_F(AboutTest, OkEnterAndEscapeCloseIt) {
    for (int key : {0, int{Qt::Key_Return}, int{Qt::Key_Escape}}) {
        dialog->show();
        dialog->setResult(-1);
        if (key == 0) {
            Press("cmdOK");
        } else {
            QTest::keyClick(dialog.get(), static_cast<Qt::Key>(key));
        }
        EXPECT_FALSE(dialog->isVisible()) << key;
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << key;
    }
}

TEST_F(AboutTest, LayoutSpotCheckCentringAndRule) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("VRQ66208A About"));
    EXPECT_EQ(dialog->size(), QSize(359, 175));
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), &owner);
    EXPECT_FALSE(dialog->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(Child<QPushButton>("cmdOK")->geometry(), QRect(264, 144, 84, 23));
    EXPECT_TRUE(Child<QPushButton>("cmdOK")->isDefault());
    EXPECT_EQ(Child<QPushButton>("cmdFirmwareVersion")->geometry(), QRect(176, 120, 81, 33));
    EXPECT_EQ(Child<QPushButton>("cmdSysInfo")->text(), QStringLiteral("&System Info..."));
    auto* title = Child<QLabel>("X98");
    EXPECT_EQ(title->text(), QStringLiteral("VRQ66208A Evaluation Software "));
    EXPECT_EQ(title->geometry(), QRect(162, 16, 187, 23));
    // On one line in the font at hand: 9.75 points, or the largest size that fits.
    EXPECT_FALSE(title->wordWrap());
    const QString titleText = title->text().trimmed();
    const qreal points = title->font().pointSizeF();
    EXPECT_LE(points, 9.75);
    EXPECT_LE(QFontMetrics(title->font()).horizontalAdvance(titleText), title->width());
    if (points < 9.75) {
        QFont larger = title->font();
        larger.setPointSizeF(points + 0.25);
        EXPECT_GT(QFontMetrics(larger).horizontalAdvance(titleText), title->width()) << points;
    }
    auto* logo = Child<QLabel>("picIcon");
    EXPECT_EQ(logo->geometry(), QRect(9, 16, 149, 52));
    EXPECT_EQ(logo->pixmap().size(), QSize(145, 48));
    EXPECT_EQ(logo->contentsRect().size(), QSize(145, 48));

    // Over the owner's centre as it is when shown, in outer sizes and places.
    owner.setGeometry(100, 100, 600, 400);
    owner.show();
    dialog->show();
    const QRect ownerFrame = owner.frameGeometry();
    const QRect frame = dialog->frameGeometry();
    EXPECT_EQ(frame.topLeft(),
              QPoint(ownerFrame.left() + ownerFrame.width() / 2 - frame.width() / 2,
                     ownerFrame.top() + ownerFrame.height() / 2 - frame.height() / 2));
    EXPECT_EQ(FrmAbout::CentredTopLeft(QRect(-50, 0, 801, 601), QSize(360, 176)), QPoint(170, 212));

    const QImage image = dialog->grab().toImage();
    // The title drawn: its text within one line's height, reaching past the middle of its label.
    int top = title->height();
    int bottom = -1;
    int right = -1;
    for (int y = 0; y < title->height(); ++y) {
        for (int x = 0; x < title->width(); ++x) {
            if (qGray(image.pixel(title->x() + x, title->y() + y)) < 128) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_LE(bottom - top + 1, QFontMetrics(title->font()).height());
    EXPECT_GT(right, title->width() * 2 / 3);

    // The engraved rule: grey on row 96, white on rows 103 and 104, full width.
    for (int x : {0, 200, 358}) {
        EXPECT_EQ(image.pixelColor(x, 96), QColor(0x80, 0x80, 0x80)) << x;
        EXPECT_EQ(image.pixelColor(x, 103), QColor(Qt::white)) << x;
        EXPECT_EQ(image.pixelColor(x, 104), QColor(Qt::white)) << x;
        EXPECT_NE(image.pixelColor(x, 100), QColor(Qt::white)) << x;
    }
}

}  // namespace
}  // namespace vrq::test
