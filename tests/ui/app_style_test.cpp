// The application's style moves work off the first paint without changing a pixel of what
// Fusion draws.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include <memory>

#include "ui/main/app_style.h"

namespace vrq::test {
namespace {

struct FrameCase {
    QSize size;
    QTabBar::Shape shape;
};

class TabPageFrame : public ::testing::TestWithParam<FrameCase> {
  protected:
    static QImage Drawn(const QStyle& style) {
        QImage image(GetParam().size + QSize(4, 4), QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(200, 90, 30));  // under the frame's half-transparent lines
        QPainter painter(&image);
        QStyleOptionTabWidgetFrame frame;
        frame.rect = QRect(QPoint(2, 2), GetParam().size);
        frame.shape = GetParam().shape;
        frame.lineWidth = 1;
        style.drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, nullptr);
        return image;
    }
};

TEST_P(TabPageFrame, IsFusionsPixelForPixel) {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const std::unique_ptr<QStyle> app = ui::MakeApplicationStyle();
    EXPECT_EQ(Drawn(*app), Drawn(*fusion));
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndShapes, TabPageFrame,
    ::testing::Values(FrameCase{{584, 389}, QTabBar::RoundedNorth},
                      FrameCase{{584, 389}, QTabBar::RoundedSouth},
                      FrameCase{{40, 300}, QTabBar::RoundedWest},
                      FrameCase{{14, 14}, QTabBar::RoundedNorth},  // drawn by Fusion itself
                      FrameCase{{12, 3}, QTabBar::RoundedNorth}));

TEST(ApplicationStyle, MenuBarOverflowArrowIsFusionsOnceDrawn) {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const std::unique_ptr<QStyle> app = ui::MakeApplicationStyle();
    for (const auto which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon deferred = app->standardIcon(which);
        ASSERT_FALSE(deferred.isNull());
        EXPECT_EQ(deferred.pixmap(16).toImage(), fusion->standardIcon(which).pixmap(16).toImage());
        EXPECT_EQ(deferred.availableSizes(), fusion->standardIcon(which).availableSizes());
    }
}

}  // namespace
}  // namespace vrq::test
