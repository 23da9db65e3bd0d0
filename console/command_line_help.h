// `varnholt --help`, `-h` and `--version`: answered before the toolkit, the catalogue or the
// settings file is touched, so they work on any terminal, with or without a display, and
// leave no file behind. The manual page (desktop/varnholt.1) covers the same ground.
#pragma once

#include <string>
#include <string_view>

namespace console {

// The version the program, its about box and its package report.
inline constexpr std::string_view kVersionText = "0.1 beta";

enum class InfoRequest { None, Help, Version };

// What the command line asks for: Help when any argument is "--help" or "-h", else Version
// when any is "--version", else None (the switches act as usual). argv[0] is the program.
InfoRequest InfoRequestOf(int argc, const char* const* argv);

// The texts written to standard output.
std::string HelpText();
std::string VersionLine();

}  // namespace console
