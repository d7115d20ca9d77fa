#include "plot_options.h"

#include <charconv>
#include <cmath>

namespace {
bool Number(std::string_view text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}
bool Fixed(std::string_view text, std::size_t at, std::size_t n, int& value) {
    return text.size() >= at + n &&
           text.substr(at, n).find_first_not_of("0123456789") == std::string_view::npos &&
           Number(text.substr(at, n), value);
}
}  // namespace

bool ParsePlotArguments(std::span<const std::string_view> args, PlotOptions& o, std::string& error) {
    o = PlotOptions{};
    error.clear();  // the answer is whether a reason was found here
    bool picture = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= args.size()) {
                error = std::string(a) + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string_view v;
        if (a == "--png" || a == "--svg") {
            if (!value(v)) return false;
            if (picture) {
                error = "give one of --png and --svg, once";
                return false;
            }
            picture = true;
            o.svg = a == "--svg";
            o.out = v;
        } else if (a == "--size") {
            if (!value(v)) return false;
            const std::size_t x = v.find('x');
            if (x == std::string_view::npos || !Number(v.substr(0, x), o.width) ||
                !Number(v.substr(x + 1), o.height) || o.width < 200 || o.height < 120 || o.width > 16384 ||
                o.height > 16384) {
                error = "--size takes WIDTHxHEIGHT in pixels, from 200x120 to 16384x16384, not \"" +
                        std::string(v) + "\"";
                return false;
            }
        } else if (a == "--signals") {
            if (!value(v)) return false;
            o.shown.fill(false);
            while (!v.empty()) {
                const std::string_view name = v.substr(0, v.find(','));
                v.remove_prefix(std::min(v.size(), name.size() + 1));
                bool known = false;
                for (int s = 0; s < records::kSignals; ++s)
                    if (name == records::kSignalNames[std::size_t(s)]) o.shown[std::size_t(s)] = known = true;
                if (!known) {
                    error = "no signal \"" + std::string(name) +
                            "\": the signals are CH_L, CH_C, CH_R, DENSITY, SYM1, SYM2, VECTOR, TEMP";
                    return false;
                }
            }
        } else if (a == "--from") {
            if (!value(v)) return false;
            o.from = v;
        } else if (a == "--to") {
            if (!value(v)) return false;
            o.to = v;
        } else if (a == "--line-numbers") {
            o.lineNumbers = true;
        } else if (a == "--link" || a == "--links") {
            error = "plot reads a record file and takes no link; record one first with sensor-tool record";
            return false;
        } else if (a.starts_with("-") && a.size() > 1) {
            error = "unknown option " + std::string(a);
            return false;
        } else if (o.file.empty()) {
            o.file = a;
        } else {
            error = "one record file only; \"" + std::string(a) + "\" is one too many";
            return false;
        }
    }
    if (o.file.empty())
        error = "name the record file to plot";
    else if (!picture)
        error = "name the picture to write with --png OUT or --svg OUT";
    return error.empty();
}

bool ParseTimeArgument(std::string_view text, std::int64_t firstSecond, double& seconds, std::string& error) {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    std::string_view clock = text;
    std::int64_t dayStart;
    if (text.size() >= 10 && text[2] == '-') {
        if (!Fixed(text, 0, 2, month) || text[5] != '-' || !Fixed(text, 3, 2, day) ||
            !Fixed(text, 6, 4, year) || !records::IsDate(year, month, day) ||
            (text.size() > 10 && text[10] != ' ')) {
            error = "the time \"" + std::string(text) + "\" is not MM-DD-YYYY [HH:MM:SS]";
            return false;
        }
        dayStart = records::SecondsFromCivil(year, month, day, 0, 0, 0);
        clock = text.size() > 10 ? text.substr(11) : std::string_view{};
    } else {
        dayStart = (firstSecond >= 0 ? firstSecond : firstSecond - 86399) / 86400 * 86400;
    }
    double fraction = 0;
    if (!clock.empty()) {
        if (!Fixed(clock, 0, 2, hour) || clock.size() < 8 || clock[2] != ':' || !Fixed(clock, 3, 2, minute) ||
            clock[5] != ':' || !Fixed(clock, 6, 2, second) || hour > 23 || minute > 59 || second > 59) {
            error = "the time \"" + std::string(text) + "\" is not MM-DD-YYYY HH:MM:SS or HH:MM:SS";
            return false;
        }
        if (clock.size() > 8) {
            int millis = 0;
            if (clock[8] != '.' || clock.size() > 12 || clock.size() < 10 ||
                !Fixed(clock, 9, clock.size() - 9, millis)) {
                error = "the time \"" + std::string(text) + "\" is not MM-DD-YYYY HH:MM:SS or HH:MM:SS";
                return false;
            }
            fraction = millis / std::pow(10.0, double(clock.size() - 9));
        }
    }
    seconds = double(dayStart + hour * 3600 + minute * 60 + second) + fraction;
    return true;
}
