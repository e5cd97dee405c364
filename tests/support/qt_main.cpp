// Test entry for widget tests: one QApplication for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // The build lists the tests by running this program, outside ctest's environment: widget
    // tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The windows' icon and logo live in the static UI library's resources.
    Q_INIT_RESOURCE(resources);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
