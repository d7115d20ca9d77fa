// sensor-tool's command line: links, commands, options and the one-line reasons for refusing them.
#include <gtest/gtest.h>

#include <vector>

#include "arguments.h"

namespace {

bool Parse(std::vector<std::string_view> args, Options& o, std::string& error) {
    return ParseArguments(args, o, error);
}

TEST(Arguments, LinksAndCommands) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--link", "serial:com3:115200", "get-params", "--from", "eeprom", "p.ini"}, o, error))
        << error;
    EXPECT_FALSE(o.link.tcp);
    EXPECT_EQ(o.link.comPort, 3);
    EXPECT_EQ(o.link.baudIndex, 4);
    EXPECT_EQ(o.command, Command::GetParams);
    EXPECT_TRUE(o.eeprom);
    EXPECT_EQ(o.file, "p.ini");

    Options t;
    ASSERT_TRUE(Parse({"send-table", "--page", "3", "--index", "99", "eq.equ", "--link",
                       "tcp:sensor.local:502", "--frame-log", "f.log"},
                      t, error))
        << error;
    EXPECT_TRUE(t.link.tcp);
    EXPECT_EQ(t.link.host, "sensor.local");
    EXPECT_EQ(t.link.port, 502);
    EXPECT_EQ(t.page, 3);
    EXPECT_EQ(t.index, 99);
    EXPECT_EQ(t.frameLog, "f.log");

    Options s;
    ASSERT_TRUE(Parse({"--link", "serial:COM1", "identify"}, s, error)) << error;
    EXPECT_EQ(s.link.baudIndex, 1) << "19200 baud unless given";

    Options r;
    ASSERT_TRUE(Parse(
        {"--link", "tcp:h:1", "record", "--triggered", "--duration", "2.5", "--append", "r.dat"}, r, error));
    EXPECT_TRUE(r.triggered);
    EXPECT_DOUBLE_EQ(r.duration, 2.5);
    EXPECT_TRUE(r.append);
}

TEST(Arguments, RefusedWithAReason) {
    struct Case {
        std::vector<std::string_view> args;
        std::string error;
    };
    const Case cases[] = {
        {{}, "no command given (see --help)"},
        {{"--link", "tcp:h:1", "fetch"}, "unknown command \"fetch\" (see --help)"},
        {{"identify"}, "--link is missing: serial:COMn[:BAUD] or tcp:HOST:PORT"},
        {{"--link", "serial:COM3:12345", "identify"},
         "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not 12345"},
        {{"--link", "serial:ttyUSB0", "identify"},
         "--link takes serial:COMn[:BAUD] or tcp:HOST:PORT, not \"serial:ttyUSB0\""},
        {{"--link", "tcp:host", "identify"},
         "--link takes serial:COMn[:BAUD] or tcp:HOST:PORT, not \"tcp:host\""},
        {{"--link", "tcp:h:70000", "identify"},
         "--link takes serial:COMn[:BAUD] or tcp:HOST:PORT, not \"tcp:h:70000\""},
        {{"--link", "tcp:h:1", "identify", "x.ini"}, "identify takes no file"},
        {{"--link", "tcp:h:1", "get-params"}, "give exactly one file"},
        {{"--link", "tcp:h:1", "get-params", "--from", "rom", "p.ini"},
         "--from takes ram or eeprom, not \"rom\""},
        {{"--link", "tcp:h:1", "send-table", "e.equ"}, "send-table needs --page 1..7"},
        {{"--link", "tcp:h:1", "send-table", "--page", "8", "e.equ"},
         "--page takes a compensation page from 1 to 7"},
        {{"--link", "tcp:h:1", "send-table", "--page", "1", "--index", "100", "e.equ"},
         "--index takes a temperature index from 0 to 99"},
        {{"--link", "tcp:h:1", "record", "r.dat"},
         "record takes either --count N --interval S or --triggered --duration S"},
        {{"--link", "tcp:h:1", "record", "--triggered", "--count", "3", "--duration", "1", "r.dat"},
         "record takes either --count N --interval S or --triggered --duration S"},
        {{"--link", "tcp:h:1", "record", "--count", "0", "r.dat"},
         "--count takes a number of frames from 1 to 65535"},
        {{"--link", "tcp:h:1", "record", "--triggered", "--duration", "-1", "r.dat"},
         "--duration takes a number of seconds above 0"},
        {{"--link"}, "--link needs a value"},
        {{"--link", "tcp:h:1", "--verbose", "identify"}, "unknown option --verbose (see --help)"},
    };
    for (const Case& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(Arguments, HelpNeedsNoLinkAndNamesTheCommand) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"record", "--help"}, o, error)) << error;
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.command, Command::Record);
    EXPECT_NE(HelpText(Command::Record).find("record --triggered --duration S"), std::string::npos);
    EXPECT_NE(HelpText(Command::None).find("exit codes"), std::string::npos);
}

}  // namespace
