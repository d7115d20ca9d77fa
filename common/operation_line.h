// What the last operation did, beside the status boxes: why it failed, or what it achieved, with the time
// ("12:04:33  202 words sent to RAM, every echo checked"). The interface panel's cause box shows it, and so
// does the line each window keeps beside its own status box, where a person looks after an operation. The
// status boxes and the programs' pop-ups stay as they are.
#pragma once

#include <string>
#include <string_view>

// The interface panel's cause box and the window's own line (panel 0: none).
void SetCauseBox(int panel, int ctrl);
void SetOperationLine(int panel, int ctrl);

// An operation succeeded: the time and `what`, in dark green, in both.
void ReportDone(std::string_view what);
// An operation ended with a problem that is not the link's (lines of a record not written): the time and
// `what`, in red, in both.
void ReportTrouble(std::string_view what);
// An exchange failed: the cause box gets `cause` as it always did, the window's line the time and the
// cause, both in red.
void ReportFailed(std::string_view cause);
// A new connection attempt: both are emptied.
void ClearOperationLines();

// A count with its thousands grouped as the lines say it: 1204 -> "1,204".
std::string GroupedNumber(long long n);
