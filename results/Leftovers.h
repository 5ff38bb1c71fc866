#ifndef GEN_RESULTS_LEFTOVERS_H_
#define GEN_RESULTS_LEFTOVERS_H_

#include <string>

// The files a run creates beside its results (temporary result files, the
// lock file) and must not leave behind when it ends early. They are kept in
// fixed storage, so that a signal handler or a fatal exit can remove them
// without allocating.

// Records `path` for removal, also by a fatal error (FatalError, a broken
// contract); returns its slot for ForgetLeftover. Paths
// longer than the storage holds cannot be opened either; a full table is a
// contract violation.
int RememberLeftover(const std::string& path);
// The file at `slot` has been published or removed: it is no leftover.
void ForgetLeftover(int slot);
// Unlinks every remembered file and forgets it. Async-signal-safe.
void RemoveLeftovers();

// Installs handlers for the signals that end a process by default (SIGHUP,
// SIGINT, SIGQUIT, SIGTERM, SIGXCPU, and SIGABRT, which a broken contract
// raises): each removes the leftovers, then ends the process by the same
// signal, so the parent still sees it. A signal that was ignored when the
// process started stays ignored.
void RemoveLeftoversOnSignals();

// The signal set-up of every executable that writes result files: a write
// to a closed pipe (SIGPIPE) or past the file-size limit (SIGXFSZ) fails
// like any other write, so the run reports it and ends with exit code 1
// instead of dying without a word; and the ending signals remove the
// leftovers (RemoveLeftoversOnSignals).
void PrepareSignalsForResults();

#endif  // GEN_RESULTS_LEFTOVERS_H_
