#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "board/firmware_text.h"
#include "board_fixture.h"

namespace vrq::test {
namespace {

using board::Report;
using link::AnswerRetry;
using link::StatusDeviceError;
using link::StatusOk;

// The first bytes of a report, the rest must be zero.
void ExpectReport(const Report& report, std::vector<std::uint8_t> head) {
    for (std::size_t i = 0; i < report.size(); ++i) {
        const std::uint8_t want = i < head.size() ? head[i] : 0;
        EXPECT_EQ(report[i], want) << "byte " << i;
    }
}

TEST_F(BoardLinkTest, WorkedExamplesGoOutByteForByte) {
    Connect();
    std::vector<std::uint8_t> values(13);
    ASSERT_EQ(link.ReadRegisters(kChip, 0x00, 13, values, false), StatusOk);
    ExpectReport(LastCommand(), {0x00, 0x02, 0x0D, 0x89, 0x00});
    EXPECT_EQ(values, (std::vector<std::uint8_t>{0x31, 0x00, 0x0C, 0x12, 0x00, 0x00, 0x00, 0xCC,
                                                 0xCC, 0x00, 0x00, 0x00, 0x00}));

    ASSERT_EQ(link.WriteRegisters(kChip, 0x03, 1, std::vector<std::uint8_t>{0x12}, false),
              StatusOk);
    ExpectReport(LastCommand(), {0x00, 0x02, 0x01, 0x88, 0x03, 0x12});

    link.SetLed(1);
    ExpectReport(LastCommand(), {0x00, 0x01, 0x00, 0x01});
    EXPECT_TRUE(Board().Led());

    link.SetBusClockDivider(119);
    ExpectReport(LastCommand(), {0x00, 0x03, 0x00, 119});
    EXPECT_EQ(Board().Divider(), 119);
}

TEST_F(BoardLinkTest, LargestTransfersFillTheWholeReport) {
    Connect();
    std::vector<std::uint8_t> data(59);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    ASSERT_EQ(link.WriteRegistersOnce(kChip, 0x00, 59, data), StatusOk);
    const Report& sent = LastCommand();
    EXPECT_EQ(sent[2], 59);
    EXPECT_EQ(sent[5], 1);
    EXPECT_EQ(sent[63], 59);

    std::vector<std::uint8_t> values(62, 0xEE);
    ASSERT_EQ(link.ReadRegistersOnce(kChip, 0x00, 62, values), StatusOk);
    EXPECT_EQ(LastCommand()[2], 62);
    EXPECT_EQ(values[0], 0x31);
    EXPECT_EQ(values[61], 0x00) << "registers past the chip's last read as 0";
    EXPECT_EQ(values[0x10], 17) << "written by the 59-byte write above";
}

TEST_F(BoardLinkTest, CountsOutsideTheReportAreNeverSent) {
    Connect();
    std::vector<std::uint8_t> values(64);
    EXPECT_EQ(link.ReadRegisters(kChip, 0, 0, values, false), StatusDeviceError);
    EXPECT_EQ(link.ReadRegisters(kChip, 0, 63, values, false), StatusDeviceError);
    EXPECT_EQ(link.WriteRegisters(kChip, 0, 60, values, false), StatusDeviceError);
    EXPECT_EQ(link.WriteRegistersOnce(kChip, 0, 0, values), StatusDeviceError);
    EXPECT_EQ(link.ReadRegistersOnce(kChip, 0, 5, std::span(values).first(4)), StatusDeviceError)
        << "a buffer shorter than the count";
    EXPECT_TRUE(Board().Commands().empty());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(BoardLinkTest, ReadAddressByteIsTheWriteAddressPlusOne) {
    Connect();
    std::uint8_t value = 0;
    link.ReadRegistersOnce(0x94, 0, 1, {&value, 1});
    EXPECT_EQ(LastCommand()[3], 0x95);
    link.WriteRegistersOnce(0x94, 0, 1, std::vector<std::uint8_t>{0});
    EXPECT_EQ(LastCommand()[3], 0x94);
}

TEST_F(BoardLinkTest, LedStateIsBitSevenOfTheGpioStatus) {
    Connect();
    Board().SetGpioLines(0x7F);
    Board().SetLed(true);
    EXPECT_EQ(link.ReadLed(), 1);  // 0xFF
    Board().SetGpioLines(0x00);
    EXPECT_EQ(link.ReadLed(), 1);  // 0x80
    Board().SetLed(false);
    Board().SetGpioLines(0x7F);
    EXPECT_EQ(link.ReadLed(), 0);  // 0x7F
}

TEST_F(BoardLinkTest, QueriesDrainTheAcknowledgementsOfSetCommands) {
    Connect();
    link.SetLed(1);
    link.SetBusClockDivider(100);
    const auto busClock = link.ReadBusClock();
    ASSERT_TRUE(busClock);
    EXPECT_EQ(busClock->baseMHz, 12);
    EXPECT_EQ(busClock->divider, 100);
    EXPECT_EQ(link.ReadLed(), 1);
}

TEST_F(BoardLinkTest, FirmwareVersionFieldsAndText) {
    Connect();
    const auto fw = link.ReadFirmwareVersion();
    ASSERT_TRUE(fw);
    EXPECT_EQ(fw->version, 0x12);
    EXPECT_EQ(fw->year, 2008);
    EXPECT_EQ(fw->month, 3);
    EXPECT_EQ(fw->day, 15);
    EXPECT_EQ(board::FirmwareVersionText(*fw, board::EnglishMonthName),
              "Firmware Version 1.2 - 2008/March/15");

    auto text = [](std::uint8_t v, int y, int m, int d) {
        return board::FirmwareVersionText({v, y, m, d}, board::EnglishMonthName);
    };
    EXPECT_EQ(text(0x21, 2010, 12, 2), "Firmware Version 2.1 - 2010/December/2");
    EXPECT_EQ(text(0x0A, 7, 1, 1), "Firmware Version 0.10 - 7/January/1");
    EXPECT_EQ(text(0xF0, 65535, 0, 0), "Firmware Version 15.0 - 65535/0/0");
    EXPECT_EQ(text(0x12, 2008, 13, 40), "Firmware Version 1.2 - 2008/13/40");
}

TEST_F(BoardLinkTest, AQueryWhoseAnswerDidNotComeYieldsNothing) {
    Connect();
    Board().dropAnswers = 1;
    host.Script({AnswerRetry});
    EXPECT_FALSE(link.ReadBusClock());
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text, "Please check USB connection.\r\ncheckGPstatus");

    Board().failWrites = 1;
    host.Script({AnswerRetry});
    EXPECT_FALSE(link.ReadFirmwareVersion()) << "a query that was not sent yields nothing";
    EXPECT_EQ(host.messages.size(), 2U);
    EXPECT_TRUE(link.ReadLed()) << "and the board works again after the rediscovery";
}

}  // namespace
}  // namespace vrq::test
