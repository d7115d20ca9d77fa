// The command line of a picture drawn without a window (RecordViewer --plot, run by sensor-tool plot):
// FILE [--signals A,B,...] [--from TIME --to TIME] (--png|--svg) OUT [--size WxH] [--line-numbers].
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "record_data.h"

struct PlotOptions {
    std::string file, out;
    bool svg = false;
    int width = 1600, height = 900;
    std::array<bool, records::kSignals> shown{true, true, true, true, true, true, true, true};
    std::string from, to;  // as given; read against the record by ParseTimeArgument
    bool lineNumbers = false;
};

// False with a one-line reason when the arguments do not describe a picture.
bool ParsePlotArguments(std::span<const std::string_view> args, PlotOptions& options, std::string& error);
// "MM-DD-YYYY HH:MM:SS", "MM-DD-YYYY" (its midnight) or "HH:MM:SS" (on the date of the record's first line,
// `firstSecond`), with an optional ".mmm"; seconds since 1970 as the record counts them.
bool ParseTimeArgument(std::string_view text, std::int64_t firstSecond, double& seconds, std::string& error);

constexpr std::string_view kPlotUsage =
    "FILE [--signals A,B,...] [--from TIME --to TIME] (--png|--svg) OUT [--size WxH]";
