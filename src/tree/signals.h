// Stopping a run on a signal. A first SIGINT, SIGTERM or SIGHUP asks the
// run to stop (see interrupted()): files being written are finished, no
// other is begun. A second one removes the unfinished temporary files and
// ends the process at once.
#pragma once

namespace tvconv::tree {

// Makes room for `slots` writers at once and installs the handler.
void install_cleanup(unsigned slots);

// Whether a stop was asked for since install_cleanup.
bool interrupted();

// The temporary file held in `slot` (a writer filling it, or a finished one
// waiting for its batch), for the handler to remove; a slot beyond those
// installed is ignored. `path` is not copied: it must stay as it is until
// release_temporary(slot).
void hold_temporary(unsigned slot, const char* path);
void release_temporary(unsigned slot);

}  // namespace tvconv::tree
