// Finding the system-information tool: the Windows registry decisions with a fake registry,
// the search-path look-up with a fake look-up, and a real detached start without a shell.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <set>

#include "ui/about/frm_about.h"
#include "ui/about/sysinfo.h"

namespace vrq::test {
namespace {

using ui::ProgramCommand;

// Values by "key|value name"; records every read.
struct FakeRegistry : ui::RegistryReader {
    bool GetKeyValue(std::uint32_t root, const std::string& keyName, const std::string& subKeyRef,
                     std::string& keyVal) override {
        EXPECT_EQ(root, ui::kHkeyLocalMachine);
        asked.push_back(keyName + "|" + subKeyRef);
        const auto found = values.find(asked.back());
        keyVal = found != values.end() ? found->second : "";
        return found != values.end();
    }
    std::map<std::string, std::string> values;
    std::vector<std::string> asked;
};

TEST(SysInfoRegistry, DecisionTable) {
    const std::string path = std::string(ui::kSysInfoKey) + "|PATH";
    const std::string location = std::string(ui::kSysInfoLocationKey) + "|MSINFO";
    const std::string exe = "C:\\MSInfo\\MSINFO32.EXE";
    struct Case {
        const char* name;
        std::map<std::string, std::string> values;
        bool exeExists;
        std::optional<std::string> expected;
        std::size_t reads;
        int fileTests;
    };
    const Case cases[] = {
        {"first value wins",
         {{path, "D:\\x.exe"}, {location, "C:\\MSInfo"}},
         true,
         "D:\\x.exe",
         1,
         0},
        {"folder with the tool", {{location, "C:\\MSInfo"}}, true, exe, 2, 1},
        {"folder without the tool", {{location, "C:\\MSInfo"}}, false, std::nullopt, 2, 1},
        {"neither key", {}, true, std::nullopt, 2, 0},
    };
    for (const auto& c : cases) {
        FakeRegistry registry;
        registry.values = c.values;
        int fileTests = 0;
        const auto found = ui::FindSysInfoInRegistry(registry, [&](const std::string& file) {
            ++fileTests;
            return c.exeExists && file == exe;
        });
        EXPECT_EQ(found, c.expected) << c.name;
        EXPECT_EQ(registry.asked.size(), c.reads) << c.name;
        EXPECT_EQ(registry.asked.front(), path) << c.name;
        EXPECT_EQ(fileTests, c.fileTests) << c.name;
    }
}

TEST(SysInfoRegistry, ValueConversion) {
    auto convert = [](std::uint32_t type, std::vector<std::uint8_t> bytes) {
        std::string value = "untouched";
        ui::ConvertRegistryValue(type, bytes, value);
        return value;
    };
    EXPECT_EQ(convert(ui::kRegSz, {'C', ':', '\\', 0}), "C:\\");
    EXPECT_EQ(convert(ui::kRegSz, {'a', 'b'}), "ab") << "no terminating zero: nothing cut";
    EXPECT_EQ(convert(ui::kRegSz, {0}), "");
    EXPECT_EQ(convert(ui::kRegDword, {0x00, 0x01, 0x00, 0x00}), "256");
    EXPECT_EQ(convert(ui::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}), "4294967295");
    EXPECT_EQ(convert(ui::kRegDword, {0, 0, 0, 0}), "0");
    EXPECT_EQ(convert(3, {1, 2, 3}), "untouched") << "binary data";
}

TEST(SysInfoSearchPath, FirstInstalledCandidateWins) {
    auto lookup = [](std::set<std::string> installed) {
        return ui::FindSysInfoProgram([installed](const std::string& name) {
            return installed.count(name) > 0 ? "/usr/bin/" + name : std::string();
        });
    };
    EXPECT_EQ(lookup({"hardinfo", "hardinfo2", "gnome-system-monitor"}),
              (ProgramCommand{"/usr/bin/hardinfo2", {}}));
    EXPECT_EQ(lookup({"gnome-system-monitor", "kinfocenter"}),
              (ProgramCommand{"/usr/bin/kinfocenter", {}}));
    EXPECT_EQ(lookup({"msinfo32"}), std::nullopt);
}

TEST(SysInfoStart, ArgumentsReachTheProgramWithoutAShell) {
    const QString touch = QStandardPaths::findExecutable(QStringLiteral("touch"));
    if (touch.isEmpty()) {
        GTEST_SKIP() << "no touch on the search path";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A shell would split this name and run the part after the semicolon.
    const QString name = dir.filePath(QStringLiteral("a b;touch c"));
    ASSERT_TRUE(ui::FrmAbout::StartProgram({touch.toStdString(), {name.toStdString()}}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(name); }, 5000));
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath(QStringLiteral("c"))));
}

}  // namespace
}  // namespace vrq::test
