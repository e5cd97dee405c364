#include "ui/main/app_look.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleOption>
#include <QTabBar>

#include <memory>

#include "device/register_map.h"
#include "ui/common/pictures.h"
#include "ui/main/app_style.h"

namespace vrq::ui {

namespace {

// The classic 8-point dialog font is 11 pixels at 96 dpi; the places were laid out for it.
constexpr int kDesignPixelSize = 11;
constexpr int kSmallestPixelSize = 8;
// The narrowest register label is 145 pixels wide; its caption must fit with a pixel to spare.
constexpr int kLabelRoom = 144;

bool CaptionsFit(const QFont& font) {
    const QFontMetrics metrics(font);
    for (const device::RegisterInfo& reg : device::AllRegisters()) {
        const QString caption =
            QString::fromUtf8(reg.caption.data(), static_cast<qsizetype>(reg.caption.size()));
        if (metrics.horizontalAdvance(caption) > kLabelRoom) {
            return false;
        }
    }
    return true;
}

// The application's style, but a tab strip's current tab shows the focus frame whenever the
// strip has the focus: drawn here as a keyboard focus, the only one the style draws.
class TabFocusStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* tab = element == CE_TabBarTabLabel
                              ? qstyleoption_cast<const QStyleOptionTab*>(option)
                              : nullptr;
        if (tab == nullptr || !tab->state.testFlag(State_HasFocus)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionTab label = *tab;
        label.state &= ~State_HasFocus;
        QProxyStyle::drawControl(element, &label, painter, widget);

        // Inside the tab's frame, where the common style puts it.
        const int inset = 1 + pixelMetric(PM_DefaultFrameWidth, tab, widget);
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(*tab);
        frame.state |= State_KeyboardFocusChange;
        frame.rect = tab->rect.adjusted(inset + 1, inset, -inset - 1, -inset);
        drawPrimitive(PE_FrameFocusRect, &frame, painter, widget);
    }
};

}  // namespace

void ShowFocusAlways(QTabBar& strip) {
    const QStyle* shown = strip.style();
    if (const auto* app = qobject_cast<const QProxyStyle*>(shown)) {
        shown = app->baseStyle();
    }
    // Owned by the strip, which holds its style by a guarded pointer.
    auto style = std::make_unique<TabFocusStyle>(shown->name());
    style->setParent(&strip);
    strip.setStyle(style.release());
}

void ApplyApplicationLook(QApplication& app) {
    // One style everywhere, so the fixed places hold on every desktop.
    QApplication::setStyle(MakeApplicationStyle().release());  // the application owns it
    // A small sans serif, the first family installed, in pixels so that it keeps to the
    // pixel places whatever the screen's dpi setting; as large as the register captions allow.
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    for (int pixels = kDesignPixelSize; pixels >= kSmallestPixelSize; --pixels) {
        font.setPixelSize(pixels);
        if (CaptionsFit(font)) {
            break;
        }
    }
    QApplication::setFont(font);
    app.setWindowIcon(QIcon(ResourcePixmap(kIconResource)));
}

}  // namespace vrq::ui
