#include "ui/main/app_look.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QStringList>

#include "device/register_map.h"

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

}  // namespace

void ApplyApplicationLook(QApplication& app) {
    // One style everywhere, so the fixed places hold on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
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
    app.setWindowIcon(QIcon(QString::fromLatin1(kIconResource)));
}

}  // namespace vrq::ui
