#pragma once
// The printer device names of the plain-text labels ("prn", "lpt1".."lpt3", with or without a
// trailing colon, any case) reach the default print queue: label lines are appended to a spool
// file and submitted as one print job on a form feed and at program end. The spool is a file, so
// lines survive a server that cannot be reached, and a program that ends early; a failed
// submission keeps every line for the next one.
#include <string>
#include <string_view>

bool IsPrinterDeviceName(const std::string& name);

// The spool file: $TELLMARK_LABEL_SPOOL, else $XDG_STATE_HOME/tellmark/labels.spool, else
// ~/.local/state/tellmark/labels.spool. Its folder is created when missing.
std::string LabelSpoolPath();
// True when the spool holds lines not yet submitted.
bool LabelSpoolPending();
// Submits the spool (code page 437 text, sent as PostScript) as one job titled
// "Tellmark labels" to the default queue and empties it. Nothing spooled: true, no job. On
// failure returns false, sets the last error code 160 and LabelSpoolError() says why; the spool
// stays as it was.
bool SubmitLabelSpool();
// Labels spooled and not yet submitted (counted in a file beside the spool; -1 when lines are
// spooled but not counted, e.g. by an older version).
int LabelSpoolLabelCount();
// After a label of that many bytes was appended to the spool.
void CountSpooledLabel(size_t bytes);
// "1 label waiting for the printer", "3 labels waiting ..."; empty when nothing waits.
std::string LabelSpoolStatusText();
// Empties the spool without printing it.
bool DiscardLabelSpool();
// Why the last submission failed; empty after a successful one.
const std::string& LabelSpoolError();
// Job id of the last job submitted (0 = none).
int LastLabelJobId();
// The print server to use (a host name or socket path; empty = the library's default).
void SetLabelPrintServer(const std::string& server);
// The job made of spooled text: PostScript, Courier 10 pt, 66 lines a page between margins of
// a quarter inch (what most printers can print), a form feed starts a new page.
std::string LabelSpoolPostScript(std::string_view spooled);
