// The sizes of the family's reports, in bytes with the report ID: what a
// command and its reply need at least, for the link and the hosts alike.
#pragma once

#include <cstddef>

namespace zelio {

// A command's output report: report ID, marker, code and five parameters.
inline constexpr size_t kCommandReportBytes = 9;
// A reply's input report: report ID and at least six reply fields.
inline constexpr size_t kReplyReportBytes = 7;

}  // namespace zelio
