#include "ui/main/app_style.h"

#include <qdrawutil.h>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

namespace vrq::ui {

namespace {

// A standard icon looked up only when it is first drawn. The menu bar asks for its overflow
// arrow as it is built, and Qt reads that picture by trying every image-format plugin installed:
// milliseconds before the window's first paint, for a button a fixed window does not show.
class DeferredIcon : public QIconEngine {
  public:
    DeferredIcon(QStyle* style, QStyle::StandardPixmap which) : style_(style), which_(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override {
        return std::make_unique<DeferredIcon>(*this).release();  // the QIcon owns it
    }

  private:
    const QIcon& Icon() {
        if (!looked_ && style_ != nullptr) {
            icon_ = style_->standardIcon(which_);
            looked_ = true;
        }
        return icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QIcon icon_;
    bool looked_ = false;
};

// Fusion strokes the tab page's frame with a half-transparent inner line, which Qt rasterizes
// across the whole page: about 2 ms of the first paint. The frame is straight lines at fixed
// insets around a plain fill, so it is drawn on a small piece and the piece's edges stretched.
constexpr int kFrameEdge = 6;  // deeper than any of the frame's lines

class AppStyle : public QProxyStyle {
  public:
    AppStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton ||
            which == SP_ToolBarVerticalExtensionButton) {
            return QIcon(std::make_unique<DeferredIcon>(baseStyle(), which).release());
        }
        return QProxyStyle::standardIcon(which, option, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* frame = element == PE_FrameTabWidget
                                ? qstyleoption_cast<const QStyleOptionTabWidgetFrame*>(option)
                                : nullptr;
        if (frame == nullptr || painter->device()->devicePixelRatioF() != 1.0 ||
            frame->rect.width() <= 2 * kFrameEdge + 1 ||
            frame->rect.height() <= 2 * kFrameEdge + 1) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        QStyleOptionTabWidgetFrame small = *frame;
        small.rect = QRect(0, 0, 2 * kFrameEdge + 1, 2 * kFrameEdge + 1);
        QPixmap piece(small.rect.size());
        piece.fill(Qt::transparent);
        {
            QPainter piecePainter(&piece);
            QProxyStyle::drawPrimitive(element, &small, &piecePainter, widget);
        }
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        qDrawBorderPixmap(painter, frame->rect,
                          QMargins(kFrameEdge, kFrameEdge, kFrameEdge, kFrameEdge), piece);
        painter->restore();
    }
};

}  // namespace

std::unique_ptr<QStyle> MakeApplicationStyle() {
    return std::make_unique<AppStyle>();
}

}  // namespace vrq::ui
