// Request frames, the echo comparison and the error texts of the link.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "com232.h"
#include "pages.h"
#include "table_transfer.h"

namespace {

// The Morvalen tool's own payloads: 180 carries one word, 182 a count and words of its send buffer.
PageState pages;
unsigned short (&table)[600] = pages.sendBuf;

class Frames : public testing::Test {
  protected:
    void SetUp() override {
        std::memset(szWriteBuf, 0, sizeof szWriteBuf);
        LinkProfile p{};
        p.fillPayload = [](Frame& request, unsigned short order, unsigned short start, unsigned short value,
                           unsigned short count) {
            FillMorvalenPayload(request, pages, order, start, value, count);
        };
        SetLinkProfile(p);
        syncWord = 0x55;
        for (int i = 0; i < 600; ++i) table[i] = static_cast<unsigned short>(0x0100 + i);
    }
};

TEST_F(Frames, PrepareOrderBytes) {
    FillTxBuf(180, 0, 0x1400, 0);
    const unsigned char head[] = {0x00, 0x55, 0x00, 0xB4, 0x14, 0x00};
    EXPECT_EQ(0, std::memcmp(szWriteBuf, head, sizeof head));
    for (int i = 6; i < 36; ++i) EXPECT_EQ(szWriteBuf[i], 0) << "byte " << i << " in a fresh run";
}

TEST_F(Frames, WriteOrderCarriesItsTableWords) {
    FillTxBuf(182, 10, 0x140A, 10);
    EXPECT_EQ(GetWord(szWriteBuf, 1), 182);
    EXPECT_EQ(GetWord(szWriteBuf, 2), 0x140A);
    EXPECT_EQ(GetWord(szWriteBuf, 3), 10);
    for (int j = 0; j < 10; ++j) {
        EXPECT_EQ(szWriteBuf[8 + 2 * j], table[10 + j] >> 8);
        EXPECT_EQ(szWriteBuf[9 + 2 * j], table[10 + j] & 0xFF);
    }
}

TEST_F(Frames, UndefinedPayloadKeepsWhatTheLastFrameLeft) {
    FillTxBuf(182, 0, 0x1500, 10);
    std::array<unsigned char, 36> before;
    std::memcpy(before.data(), szWriteBuf, 36);
    FillTxBuf(180, 0, 0x1600, 0);
    EXPECT_EQ(GetWord(szWriteBuf, 1), 180);
    EXPECT_EQ(GetWord(szWriteBuf, 2), 0x1600);
    EXPECT_EQ(0, std::memcmp(szWriteBuf + 6, before.data() + 6, 30)) << "bytes 6..35 are untouched";
}

TEST_F(Frames, VersionQueryGetsTheHeaderOnly) {
    FillTxBuf(182, 0, 0x1400, 10);
    std::array<unsigned char, 36> before;
    std::memcpy(before.data(), szWriteBuf, 36);
    FillTxBuf(7, 0, 0, 0);
    EXPECT_EQ(GetWord(szWriteBuf, 0), 0x55);
    EXPECT_EQ(GetWord(szWriteBuf, 1), 7);
    EXPECT_EQ(0, std::memcmp(szWriteBuf + 4, before.data() + 4, 32));
}

TEST(EchoMatches, ComparesNWordsFromTheFrameStart) {
    unsigned char request[36] = {0x00, 0x55, 0x00, 0xB4, 0x14, 0x00};
    unsigned char reply[36] = {0x00, 0xAA, 0x00, 0xB4, 0x14, 0x00};
    EXPECT_TRUE(EchoMatches(reply, request, 2));
    EXPECT_TRUE(EchoMatches(reply, request, 3));
    reply[5] = 0x01;
    EXPECT_TRUE(EchoMatches(reply, request, 2)) << "n = 2 compares bytes 2 and 3 only";
    EXPECT_FALSE(EchoMatches(reply, request, 3));
}

TEST(EchoMatches, SyncWordMustBeTheReplyMarker) {
    unsigned char request[36] = {0x00, 0x55, 0x00, 0xB4};
    unsigned char reply[36] = {0x00, 0x55, 0x00, 0xB4};
    EXPECT_FALSE(EchoMatches(reply, request, 2)) << "a reply that repeats the request's sync word fails";
    reply[1] = 0xAA;
    reply[0] = 0x01;
    EXPECT_FALSE(EchoMatches(reply, request, 2));
}

TEST(EchoMatches, FourteenWordsCoverAWriteOrder) {
    unsigned char request[36], reply[36];
    for (int i = 0; i < 36; ++i) request[i] = reply[i] = static_cast<unsigned char>(i * 7);
    request[0] = 0x00;
    request[1] = 0x55;
    reply[0] = 0x00;
    reply[1] = 0xAA;
    EXPECT_TRUE(EchoMatches(reply, request, 14));
    reply[27] ^= 1;  // last compared byte
    EXPECT_FALSE(EchoMatches(reply, request, 14));
    reply[27] ^= 1;
    reply[28] ^= 1;  // beyond the compared words
    EXPECT_TRUE(EchoMatches(reply, request, 14));
}

TEST(LinkTexts, SerialErrors) {
    EXPECT_STREQ(RS232ErrorText(-1), "Unknown system error");
    EXPECT_STREQ(RS232ErrorText(-2), "Invalid port number");
    EXPECT_STREQ(RS232ErrorText(-3), "Port is not open");
    EXPECT_STREQ(RS232ErrorText(-4), "Unknown I/0 error");
    EXPECT_STREQ(RS232ErrorText(-5), "RS-232 error!");
    EXPECT_STREQ(RS232ErrorText(-6), "No serial port found");
    EXPECT_STREQ(RS232ErrorText(-7), "Cannot open port");
    EXPECT_STREQ(RS232ErrorText(-99), "Timeout");
    EXPECT_STREQ(RS232ErrorText(-8), "RS-232 error!");
    EXPECT_STREQ(RS232ErrorText(-1000), "RS-232 error!");
}

TEST(LinkTexts, TcpErrors) {
    EXPECT_STREQ(TCPErrorText(-1), "UnableToRegisterService");
    EXPECT_STREQ(TCPErrorText(-4), "FailedToConnect");
    EXPECT_STREQ(TCPErrorText(-11), "TimeOutError");
    EXPECT_STREQ(TCPErrorText(-14), "ConnectionClosed");
    EXPECT_STREQ(TCPErrorText(-20), "InfoNotAvailable");
    EXPECT_STREQ(TCPErrorText(-21), "Connection to server failed");
    EXPECT_STREQ(TCPErrorText(-100), "Connection to server failed");
}

TEST(LinkTexts, BaudIndex) {
    EXPECT_EQ(BaudRateOf(0), 9600);
    EXPECT_EQ(BaudRateOf(1), 19200);
    EXPECT_EQ(BaudRateOf(4), 115200);
    EXPECT_EQ(BaudRateOf(5), 19200);
    EXPECT_EQ(BaudRateOf(-1), 19200);
}

}  // namespace

namespace {

TEST(ReplyWords, ReadRepliesAndFramesUnpackBigEndian) {
    anzframe = 18;
    for (int i = 0; i < 36; ++i) szReadBuf[i] = static_cast<unsigned char>(i + 1);
    pp[18] = 0xBEEF;
    GetRxBufPara();
    EXPECT_EQ(pp[0], 0x0102);
    EXPECT_EQ(pp[17], 0x2324);
    EXPECT_EQ(pp[18], 0xBEEF) << "a reply fills words 0 to 17 only";
    GetRxBufData();
    EXPECT_EQ(databuf[1], 0x0304);
    EXPECT_EQ(databuf[17], 0x2324);
}

}  // namespace
