// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Starts the program: one copy per user (a second start brings the first forward and exits 0),
// the skin, the main window and the event loop. SIGTERM and SIGINT end it like the quit entry,
// without the question. Diagnostics go to the log file (see core/app/Logging.h); the terminal
// gets warnings and errors, or every line with --verbose. Files and folders named on the
// command line are added to the lists (a second start hands them to the first); other options
// ("-x") are ignored. Returns the exit code.
int RunApplication(int argc, char** argv);
