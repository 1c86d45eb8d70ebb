// The sweep's tables, read by make_command_table.py (the first two) and by the sweep. Every entry
// says why.
//
// SWEEP_EXCLUDE: commands the sweep never calls.
// SWEEP_KNOWN: commands with a fault that another change mends; not called until it lands.
// SWEEP_QUIET: commands that may leave a missing item without an error.
// SWEEP_TOUCHES: commands that may change items they do not name.
#ifndef SWEEP_EXCLUDE
#define SWEEP_EXCLUDE(name, reason)
#endif
#ifndef SWEEP_KNOWN
#define SWEEP_KNOWN(name, reason)
#endif
#ifndef SWEEP_QUIET
#define SWEEP_QUIET(name, reason)
#endif
#ifndef SWEEP_TOUCHES
#define SWEEP_TOUCHES(name, reason)
#endif

SWEEP_EXCLUDE(ExecuteFile, "starts the program it names")
SWEEP_EXCLUDE(ExecuteFileAndWait, "starts the program it names and waits for its end")
SWEEP_EXCLUDE(ExecuteProgram, "starts the program it names")
SWEEP_EXCLUDE(AppendString, "writes into the caller's buffer of the size it is told")
SWEEP_EXCLUDE(FTPConnect, "needs an FTP server")
SWEEP_EXCLUDE(CreateNetGame, "needs a DirectPlay session, which Wine cannot host")
SWEEP_EXCLUDE(JoinNetGame, "needs a DirectPlay session, which Wine cannot join")
SWEEP_EXCLUDE(ConnectNetGame, "needs a DirectPlay session, which Wine cannot host")
SWEEP_EXCLUDE(WaitMillisecondsExport, "waits as long as asked, by design")
SWEEP_EXCLUDE(WaitMillisecondsExport2, "waits as long as asked, by design")
SWEEP_EXCLUDE(CoreMessageBox, "opens a modal dialog")
