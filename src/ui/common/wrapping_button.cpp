#include "ui/common/wrapping_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace vrq::ui {

void WrappingButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    // The frame, background and focus mark as usual, then the caption wrapped in the space
    // the style leaves for it.
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    option.text = caption;
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) {
        flags |= Qt::TextHideMnemonic;
    }
    painter.drawItemText(area, flags, option.palette, isEnabled(), caption, QPalette::ButtonText);
}

}  // namespace vrq::ui
