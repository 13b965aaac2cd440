#pragma once

// Starts the program: one copy per user (a second start brings the first forward and exits 0),
// the skin, the main window and the event loop. SIGTERM and SIGINT end it like the quit entry,
// without the question. Diagnostics go to the log file (see core/app/Logging.h); the terminal
// gets warnings and errors, or every line with --verbose. Other arguments are ignored. Returns
// the process's exit code.
int RunApplication(int argc, char** argv);
