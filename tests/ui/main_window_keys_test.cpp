// The keyboard events of the text-box arrays as their handlers receive them.
#include <QKeyEvent>

#include <ostream>

#include "main_window_fixture.h"

namespace vrq::test {
namespace {

using ui::KeyedBoxes;

class MainWindowKeys : public MainWindowTest {
  protected:
    struct Event {
        char kind;  // 'd' down, 'p' press, 'u' up
        int index;
        int code;  // the key, or the character
        Qt::KeyboardModifiers modifiers;
        bool operator==(const Event&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Event& e) {
            return out << e.kind << '(' << e.index << ", " << std::hex << e.code << ", "
                       << e.modifiers.toInt() << std::dec << ')';
        }
    };
    static constexpr Qt::KeyboardModifiers kNone{};

    // Records every event of an array; press handling as given.
    void Record(KeyedBoxes array, std::function<void(char16_t&)> press = {}) {
        ui::BoxKeyHandlers handlers;
        handlers.keyDown = [this](int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
            events.push_back({'d', index, key, modifiers});
            return false;
        };
        handlers.keyPress = [this, press](int index, char16_t& character) {
            events.push_back({'p', index, character, kNone});
            if (press) {
                press(character);
            }
        };
        handlers.keyUp = [this](int index, Qt::Key key, Qt::KeyboardModifiers modifiers) {
            events.push_back({'u', index, key, modifiers});
        };
        window->SetBoxKeyHandlers(array, std::move(handlers));
    }

    std::vector<Event> events;
};

TEST_F(MainWindowKeys, RegisterBoxKeysArriveAsDownPressUpWithTheirCodes) {
    Start();
    Record(KeyedBoxes::RegVal);
    QLineEdit* box = RegBox(17);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A);
    QTest::keyClick(box, Qt::Key_Left, Qt::ShiftModifier);
    // Shift itself is a key: down with Shift held, up with nothing held any more.
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    EXPECT_EQ(events, (std::vector<Event>{{'d', 17, Qt::Key_A, kNone},
                                          {'p', 17, 'a', kNone},
                                          {'u', 17, Qt::Key_A, kNone},
                                          {'d', 17, Qt::Key_Shift, shift},
                                          {'d', 17, Qt::Key_Left, shift},
                                          {'u', 17, Qt::Key_Left, shift},
                                          {'u', 17, Qt::Key_Shift, kNone}}));
    EXPECT_EQ(box->text(), QStringLiteral("a"));
}

TEST_F(MainWindowKeys, KeyPressDropsOrReplacesTheCharacter) {
    Start();
    Record(KeyedBoxes::RegVal, [](char16_t& character) {
        character = QChar(character).toUpper().unicode();
        if (!QChar(character).isDigit() && (character < u'A' || character > u'F')) {
            character = 0;
        }
    });
    RegBox(2)->setFocus();
    QTest::keyClicks(RegBox(2), QStringLiteral("g-a7"));
    EXPECT_EQ(RegBox(2)->text(), QStringLiteral("A7"));
}

TEST_F(MainWindowKeys, KeyDownCanSwallowAKey) {
    Start();
    ui::BoxKeyHandlers handlers;
    handlers.keyDown = [](int, Qt::Key key, Qt::KeyboardModifiers) {
        return key == Qt::Key_Backspace;
    };
    window->SetBoxKeyHandlers(KeyedBoxes::RegVal, std::move(handlers));
    RegBox(3)->setText(QStringLiteral("12"));
    RegBox(3)->setFocus();
    QTest::keyClick(RegBox(3), Qt::Key_Backspace);
    EXPECT_EQ(RegBox(3)->text(), QStringLiteral("12"));
}

TEST_F(MainWindowKeys, OtherArraysCarryTheirOwnIndexAndAutoRepeatGivesNoKeyUp) {
    Start();
    Record(KeyedBoxes::WriteIndividual);
    Record(KeyedBoxes::Register);
    auto* value1 = Box("txtWriteIndividual_1");
    auto* reg = Box("txtRegister");
    QTest::keyClick(value1, Qt::Key_Up);
    QTest::keyClick(reg, Qt::Key_PageDown);
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(value1, &repeated);
    EXPECT_EQ(events, (std::vector<Event>{{'d', 1, Qt::Key_Up, kNone},
                                          {'u', 1, Qt::Key_Up, kNone},
                                          {'d', 0, Qt::Key_PageDown, kNone},
                                          {'u', 0, Qt::Key_PageDown, kNone}}));
}

TEST_F(MainWindowKeys, DeleteIsAKeyAndAltOrMetaTypeNothingAsX11DeliversThem) {
    Start();
    Record(KeyedBoxes::RegVal);
    QLineEdit* box = RegBox(17);
    box->setText(QStringLiteral("3C"));
    box->setCursorPosition(0);
    box->setFocus();
    X11KeyClick(box, Qt::Key_Delete, Qt::NoModifier, kX11DeleteText);
    EXPECT_EQ(box->text(), QStringLiteral("C"));
    X11KeyClick(box, Qt::Key_A, Qt::AltModifier, QStringLiteral("a"));
    X11KeyClick(box, Qt::Key_1, Qt::MetaModifier, QStringLiteral("1"));
    EXPECT_EQ(box->text(), QStringLiteral("C"));
    // No character events, but keys with their releases as usual.
    const Qt::KeyboardModifiers alt = Qt::AltModifier;
    const Qt::KeyboardModifiers meta = Qt::MetaModifier;
    EXPECT_EQ(events, (std::vector<Event>{{'d', 17, Qt::Key_Delete, kNone},
                                          {'u', 17, Qt::Key_Delete, kNone},
                                          {'d', 17, Qt::Key_A, alt},
                                          {'u', 17, Qt::Key_A, alt},
                                          {'d', 17, Qt::Key_1, meta},
                                          {'u', 17, Qt::Key_1, meta}}));

    // The single-register frame's boxes, with their own handlers.
    for (const char* name : {"txtRegister", "txtWriteIndividual_0", "txtWriteIndividual_1"}) {
        box = Box(name);
        box->setText(QStringLiteral("5A"));
        box->setCursorPosition(0);
        box->setFocus();
        X11KeyClick(box, Qt::Key_Delete, Qt::NoModifier, kX11DeleteText);
        X11KeyClick(box, Qt::Key_B, Qt::AltModifier, QStringLiteral("b"));
        X11KeyClick(box, Qt::Key_7, Qt::AltModifier, QStringLiteral("7"));
        EXPECT_EQ(box->text(), QStringLiteral("A")) << name;
    }
}

}  // namespace
}  // namespace vrq::test
