// sensor-tool's command line: links, commands, options and the one-line reasons for refusing them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "arguments.h"
#include "links.h"

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
    const std::string kPlotFirst =
        "plot reads a record file and takes no link; give it first: sensor-tool plot FILE ... (see "
        "sensor-tool plot --help)";
    struct Case {
        std::vector<std::string_view> args;
        std::string error;
    };
    const Case cases[] = {
        {{}, "no command given (see --help)"},
        {{"--link", "tcp:h:1", "fetch"}, "unknown command \"fetch\" (see --help)"},
        {{"identify"},
         "--link is missing: serial:COMn[:BAUD], serial:DEVICE[:BAUD] or tcp:HOST:PORT (or --links FILE)"},
        {{"--link", "serial:COM3:12345", "identify"},
         "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not 12345"},
        {{"--link", "serial:ttyUSB0", "identify"},
         "a link is serial:COMn[:BAUD], serial:DEVICE[:BAUD] or tcp:HOST:PORT, not \"serial:ttyUSB0\" (a "
         "device is named by its path, such as /dev/ttyUSB0)"},
        {{"--link", "serial:COM0", "identify"}, "COM ports are numbered 1 to 255, not 0"},
        {{"--link", "serial:XOM3", "identify"},
         "a link is serial:COMn[:BAUD], serial:DEVICE[:BAUD] or tcp:HOST:PORT, not \"serial:XOM3\" (a "
         "device is named by its path, such as /dev/ttyUSB0)"},
        {{"--links"}, "--links needs a value"},
        {{"--link", "tcp:h:1", "record", "--count", "65536", "r.dat"},
         "--count takes a number of frames from 1 to 65535"},
        {{"--link", "serial:COM3:fast", "identify"},
         "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not fast"},
        {{"--link", "tcp:host", "identify"},
         "a link is serial:COMn[:BAUD], serial:DEVICE[:BAUD] or tcp:HOST:PORT, not \"tcp:host\""},
        {{"--link", "tcp:h:70000", "identify"},
         "the TCP port of tcp:h:70000 must be a number from 1 to 65535"},
        {{"--link", "tcp:h:1", "send-table", "--page", "1", "--verify", "e.equ"},
         "--verify goes with send-params only (compare-params compares without writing)"},
        {{"--link", "tcp:h:1", "ports"},
         "ports lists the serial ports of this machine and takes no link and no file"},
        {{"--links", "a.txt", "--links", "b.txt", "identify"}, "give --links once"},
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
         "--duration takes a number of seconds above 0 and at most 10000000 (about 115 days)"},
        {{"--link", "tcp:h:1", "record", "--triggered", "--duration", "1e10", "r.dat"},
         "--duration takes a number of seconds above 0 and at most 10000000 (about 115 days)"},
        {{"--link"}, "--link needs a value"},
        // A value given twice, or a file named by nothing (an unset variable in a script), is refused.
        {{"--link", "tcp:h:1", "send-table", "--page", "1", "--page", "2", "e.equ"}, "give --page once"},
        {{"--link", "tcp:h:1", "send-params", "--to", "ram", "--to", "eeprom", "p.ini"}, "give --to once"},
        {{"--link", "tcp:h:1", "record", "--count", "3", "--count", "5", "--interval", "0", "r.dat"},
         "give --count once"},
        {{"--link", "tcp:h:1", "record", "--count", "5", "r.dat"},
         "record takes either --count N --interval S or --triggered --duration S"},
        {{"--link", "tcp:h:1", "record", "--triggered", "--duration", "1", "--interval", "0", "r.dat"},
         "record takes either --count N --interval S or --triggered --duration S"},
        {{"--link", "tcp:h:1", "get-params", ""}, "the file name is empty: give a file name"},
        {{"--link", "tcp:h:1", "--frame-log", "", "identify"}, "--frame-log needs a file name"},
        {{"--link", "tcp:h:1", "--verbose", "identify"}, "unknown option --verbose (see --help)"},
        // plot is told apart by its first word; after a link it is no command of a sensor.
        {{"--link", "tcp:h:1", "plot", "r.dat"}, kPlotFirst},
        {{"--link", "tcp:h:1", "plot", "r.dat", "--png", "r.png"}, kPlotFirst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(Arguments, DevicesAndSeveralLinks) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--link", "serial:/dev/ttyUSB0:115200", "--link", "serial:COM3", "--link",
                       "serial:/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "--links", "more.txt",
                       "send-params", "--verify", "p.ini"},
                      o, error))
        << error;
    ASSERT_EQ(o.links.size(), 3u);
    EXPECT_EQ(o.links[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(o.links[0].baudIndex, 4);
    EXPECT_EQ(o.links[0].comPort, 0);
    EXPECT_EQ(o.links[1].comPort, 3);
    EXPECT_EQ(o.links[2].device, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0")
        << "colons inside a device path are not a baud rate";
    EXPECT_EQ(o.links[2].baudIndex, 1);
    EXPECT_EQ(o.links[2].text, "serial:/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(o.linksFile, "more.txt");
    EXPECT_EQ(o.linksFileAt, 3u);
    EXPECT_TRUE(o.verify);

    Options f;
    ASSERT_TRUE(Parse({"--links", "l.txt", "compare-params", "--from", "eeprom", "p.ini"}, f, error))
        << error;
    EXPECT_EQ(f.command, Command::CompareParams);
    EXPECT_TRUE(f.eeprom);
    Options p;
    ASSERT_TRUE(Parse({"ports"}, p, error)) << error;
    EXPECT_EQ(p.command, Command::Ports);
}

// The most serious code of a run on several links, in the order the help gives.
TEST(ExitCodes, MostSeriousOfSeveralLinks) {
    const int order[] = {kExitOk, kExitNoLink, kExitBadFile, kExitDiffers, kExitSensorFailed, 143, 130};
    for (std::size_t i = 0; i < std::size(order); ++i)
        for (std::size_t j = 0; j < std::size(order); ++j) {
            EXPECT_EQ(MostSerious(order[i], order[j]), order[std::max(i, j)]) << order[i] << " " << order[j];
        }
    EXPECT_NE(HelpText(Command::None).find("this order: 130 / 143, 4, 6, 5, 3"), std::string::npos);
}

TEST(LinksFile, CommentsAndBlankLinesAndTheReasonForARefusal) {
    std::vector<LinkSpec> links;
    std::string error;
    ASSERT_TRUE(
        ParseLinksText("# line 3 of the hall\r\n\n  tcp:10.0.0.7:502   # the left one\r\n"
                       "serial:/dev/ttyUSB#1\nserial:COM4:9600",
                       "hall.txt", links, error))
        << error;
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].text, "tcp:10.0.0.7:502");
    EXPECT_EQ(links[1].device, "/dev/ttyUSB#1") << "a # inside a word is no comment";
    EXPECT_EQ(links[2].baudIndex, 0);

    struct Case {
        std::string text, error;
    };
    const Case cases[] = {
        {"",
         "the links file hall.txt holds no link; write one link per line, such as tcp:10.0.0.7:502 or "
         "serial:/dev/ttyUSB0"},
        {"# only a comment\n\n",
         "the links file hall.txt holds no link; write one link per line, such as "
         "tcp:10.0.0.7:502 or serial:/dev/ttyUSB0"},
        {"tcp:h:1\n\ntcp h 2\n",
         "line 3 of the links file hall.txt: a link is serial:COMn[:BAUD], "
         "serial:DEVICE[:BAUD] or tcp:HOST:PORT, not \"tcp h 2\""},
    };
    for (const Case& c : cases) {
        std::vector<LinkSpec> none;
        EXPECT_FALSE(ParseLinksText(c.text, "hall.txt", none, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(none.empty());
    }
    EXPECT_FALSE(ReadLinksFile("/nonexistent/links.txt", links, error));
    EXPECT_EQ(error,
              "the links file /nonexistent/links.txt does not exist or is not a file; give a file with "
              "one link per line");

    // An empty file is read and holds no link; a file of 1 MiB is still read, one byte more is refused.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("links-file-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string empty = (dir / "empty.txt").string(), big = (dir / "big.txt").string();
    std::ofstream(empty).flush();
    std::vector<LinkSpec> read;
    EXPECT_FALSE(ReadLinksFile(empty, read, error));
    EXPECT_EQ(error, "the links file " + empty +
                         " holds no link; write one link per line, such as tcp:10.0.0.7:502 or "
                         "serial:/dev/ttyUSB0");
    const std::string mebibyte = "tcp:h:1\n# " + std::string(1048565, 'x') + "\n";
    ASSERT_EQ(mebibyte.size(), 1048576u);
    std::ofstream(big, std::ios::binary) << mebibyte;
    EXPECT_TRUE(ReadLinksFile(big, read, error)) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].text, "tcp:h:1");
    std::ofstream(big, std::ios::binary) << mebibyte << "\n";
    EXPECT_FALSE(ReadLinksFile(big, read, error));
    EXPECT_EQ(error, "the links file " + big + " is 1048577 bytes long, too long for a links file");
    fs::remove_all(dir);
}

TEST(Links, TheSameSensorTwiceIsRefused) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("links-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    std::ofstream(dir / "ttyFAKE0") << "";
    fs::create_symlink(dir / "ttyFAKE0", dir / "COM7");  // serial:COM7 leads here, from the working directory
    auto parse = [](std::vector<std::string_view> texts) {
        std::vector<LinkSpec> links;
        for (std::string_view t : texts) {
            LinkSpec l;
            std::string error;
            EXPECT_TRUE(ParseLink(t, l, error)) << error;
            links.push_back(l);
        }
        return links;
    };
    struct Case {
        std::vector<std::string_view> links;
        std::string error;
    };
    const Case cases[] = {
        {{"tcp:h:1", "tcp:h:1"}, "the link tcp:h:1 is given twice; give each sensor once"},
        {{"tcp:Sensor.local:502", "tcp:sensor.LOCAL:502"},
         "tcp:Sensor.local:502 and tcp:sensor.LOCAL:502 reach the same sensor; give each sensor once"},
        {{"serial:COM7", "serial:./ttyFAKE0:9600"},
         "serial:COM7 and serial:./ttyFAKE0:9600 reach the same sensor (" + (dir / "ttyFAKE0").string() +
             "); give each sensor once"},
    };
    for (const Case& c : cases) {
        std::vector<LinkSpec> links = parse(c.links);
        std::string error;
        EXPECT_FALSE(ResolveLinks(links, error));
        EXPECT_EQ(error, c.error);
    }
    std::vector<LinkSpec> distinct = parse({"tcp:h:1", "tcp:h:2", "serial:COM7", "serial:COM8"});
    std::string error;
    EXPECT_TRUE(ResolveLinks(distinct, error)) << error;
    EXPECT_EQ(distinct[2].device, (dir / "ttyFAKE0").string());
    EXPECT_EQ(distinct[3].device, "/dev/ttyS7") << "no COM8 link anywhere: the default device";
    fs::current_path(previous);
    fs::remove_all(dir);
}

TEST(Links, FileNamesPerLink) {
    LinkSpec tcp, serial;
    std::string error;
    ASSERT_TRUE(ParseLink("tcp:10.0.0.7:502", tcp, error));
    ASSERT_TRUE(ParseLink("serial:/dev/ttyUSB0:115200", serial, error));
    EXPECT_EQ(FileNameFor("saved-{n}.ini", tcp, 3), "saved-3.ini");
    EXPECT_EQ(FileNameFor("out/{link}-{n}.dat", tcp, 1), "out/tcp_10.0.0.7_502-1.dat");
    EXPECT_EQ(FileNameFor("{link}.ini", serial, 2), "serial_dev_ttyUSB0_115200.ini");
    EXPECT_EQ(FileNameFor("plain.ini", serial, 2), "plain.ini");
    EXPECT_EQ(FileNameFor("{x}{n", serial, 2), "{x}{n");
    // Character by character: letters, digits, '.' and '-' kept, every run of anything else one '_'.
    LinkSpec byId;
    ASSERT_TRUE(ParseLink("serial:/dev/serial/by-id/usb-FTDI_A5-if00-port0:9600", byId, error));
    EXPECT_EQ(FileNameFor("{link}.dat", byId, 1), "serial_dev_serial_by-id_usb-FTDI_A5-if00-port0_9600.dat");
    LinkSpec named;
    ASSERT_TRUE(ParseLink("tcp:Line-3.hall.example:502", named, error));
    EXPECT_EQ(FileNameFor("p-{link}-{n}.ini", named, 12), "p-tcp_Line-3.hall.example_502-12.ini");
}

// Each command takes its own options: --from on send-params is refused, not taken for --to.
TEST(Arguments, ACommandRefusesTheOptionsItDoesNotTake) {
    struct Case {
        std::vector<std::string_view> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--link", "tcp:h:1", "send-params", "--from", "eeprom", "p.ini"},
         "send-params takes --to ram|eeprom, not --from (see sensor-tool send-params --help)"},
        {{"--link", "tcp:h:1", "get-params", "--to", "eeprom", "p.ini"},
         "get-params takes --from ram|eeprom, not --to (see sensor-tool get-params --help)"},
        {{"--link", "tcp:h:1", "compare-params", "--to", "ram", "p.ini"},
         "compare-params takes --from ram|eeprom, not --to (see sensor-tool compare-params --help)"},
        {{"--link", "tcp:h:1", "identify", "--from", "ram"},
         "identify does not take --from (see sensor-tool identify --help)"},
        {{"--link", "tcp:h:1", "record", "--count", "2", "--page", "1", "r.dat"},
         "record does not take --page (see sensor-tool record --help)"},
        {{"--link", "tcp:h:1", "get-params", "--append", "p.ini"},
         "get-params does not take --append (see sensor-tool get-params --help)"},
        {{"--link", "tcp:h:1", "send-table", "--page", "1", "--count", "3", "e.equ"},
         "send-table does not take --count (see sensor-tool send-table --help)"},
        {{"--link", "tcp:h:1", "--parallel", "0", "identify"},
         "--parallel takes a number of sensors worked at once, from 1 to 10000"},
    };
    for (const Case& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--parallel", "4", "--link", "tcp:h:1", "--frame-log", "f.log", "send-params", "--to",
                       "eeprom", "--verify", "p.ini"},
                      o, error))
        << error;
    EXPECT_TRUE(o.eeprom);
    EXPECT_EQ(o.parallel, 4);
}

// A bad baud rate after a device is named; a line of a links file is shown with its odd bytes escaped, a
// byte order mark named, and a long one cut.
TEST(Arguments, MessagesNameWhatIsWrongWithoutEchoingAWholeFile) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse({"--link", "serial:/dev/ttyUSB0:fast", "identify"}, o, error));
    EXPECT_EQ(error, "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not fast");

    std::vector<LinkSpec> links;
    EXPECT_FALSE(ParseLinksText("\xEF\xBB\xBFtcp:10.0.0.7:502\n", "hall.txt", links, error));
    EXPECT_EQ(
        error,
        "the links file hall.txt begins with a byte order mark (the bytes EF BB BF that some editors write "
        "first); save it as plain text without one (in Notepad: UTF-8, not UTF-8 with BOM)");
    EXPECT_FALSE(ParseLinksText("tcp:h:1\ntcp\x01h\xFF\n", "hall.txt", links, error));
    EXPECT_EQ(error,
              "line 2 of the links file hall.txt: a link is serial:COMn[:BAUD], serial:DEVICE[:BAUD] or "
              "tcp:HOST:PORT, not \"tcp\\x01h\\xFF\"");
    const std::string longLine(500000, 'x');
    EXPECT_FALSE(ParseLinksText(longLine, "hall.txt", links, error));
    EXPECT_EQ(error,
              "line 1 of the links file hall.txt: a link is serial:COMn[:BAUD], serial:DEVICE[:BAUD] or "
              "tcp:HOST:PORT, not \"" +
                  std::string(60, 'x') + "... (500000 characters)\"");
    EXPECT_TRUE(links.empty());
}

// One server under three spellings is one sensor: the names are compared by the addresses they resolve to.
TEST(Links, TheSameServerUnderAnotherSpellingIsOneSensor) {
    const std::vector<std::vector<std::string_view>> spellings = {
        {"tcp:127.0.0.1:5020", "tcp:localhost:5020"},
        {"tcp:127.0.0.1:5020", "tcp:127.1:5020"},
        {"tcp:LOCALHOST:5020", "tcp:127.000.000.001:5020"},
    };
    for (const auto& texts : spellings) {
        std::vector<LinkSpec> links(2);
        std::string error;
        ASSERT_TRUE(ParseLink(texts[0], links[0], error));
        ASSERT_TRUE(ParseLink(texts[1], links[1], error));
        EXPECT_FALSE(ResolveLinks(links, error)) << texts[1];
        EXPECT_EQ(error, std::string(texts[0]) + " and " + std::string(texts[1]) +
                             " reach the same sensor (127.0.0.1:5020); give each sensor once");
    }
    std::vector<LinkSpec> other(2);
    std::string error;
    ASSERT_TRUE(ParseLink("tcp:127.0.0.1:5020", other[0], error));
    ASSERT_TRUE(ParseLink("tcp:127.0.0.2:5020", other[1], error));
    EXPECT_TRUE(ResolveLinks(other, error)) << error;
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
