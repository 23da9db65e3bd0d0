// The local clock as an OLE Automation date, and the timestamp text of the log and lists.
//
// An OLE date counts days since 30 December 1899 with the time of day as the fraction,
// in local time; 0.0 stands for never.
#pragma once

#include <string>

#include "platform/file_time.h"

namespace platform {

double NowOleDate();
// The clock as a file time (UTC), to compare with the times files carry.
FileTime NowFileTime();
double CalendarToOleDate(const CalendarTime& local);
CalendarTime OleDateToCalendar(double oleDate);  // rounded to the millisecond

// The date in the user's short date format (LC_TIME); then, unless the time of day is
// exactly 00:00:00, one blank and the time in the user's long time format.
std::string TimestampText(double oleDate);

}  // namespace platform
