#pragma once

// The history exports from the command line, for scheduled reports with no display:
//   velmoran-lite --export-csv PROJECT.tpc [--from T] [--to T] [--logger SERIAL]... -o FILE
//   velmoran-lite --report-pdf PROJECT.tpc [--from T] [--to T] [--logger SERIAL]... -o FILE
// Exit codes: 0 the file is written (a range without data gives a header-only CSV or a report
// without samples, with a note on standard error); 2 bad arguments or a project that cannot be
// read; 1 the output could not be written.
namespace HistoryCommand {

// true when the arguments ask for an export instead of the window.
bool wanted(int argc, char *argv[]);
// The exports' part of --help.
const char *usage();
int run(int argc, char *argv[]);

} // namespace HistoryCommand
