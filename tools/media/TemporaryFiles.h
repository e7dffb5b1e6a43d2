// Temporary files that an interrupted program removes on its way out, so that
// Ctrl-C during a long write leaves no half-written file behind.
#pragma once

#include <string>

namespace tessaly::media {

// Removes every registered file when SIGINT, SIGTERM or SIGHUP arrives, then
// ends the program as that signal would have.
void InstallInterruptCleanup();

// Returns a slot to forget the file by, or -1 when every slot is taken (the
// file is then not removed on interruption). A folder may be remembered too:
// it is removed after the files, when they have left it empty.
int RememberTemporaryFile(const std::string& path);
void ForgetTemporaryFile(int slot);

// For a command whose files are too many to remember: the first interruption
// is only noted, so that the command can remove what it wrote and then end
// through EndInterrupted; a second one ends the program at once, as before.
void DeferInterruptions();
bool InterruptionPending();
// Removes the remembered files and ends the program by the noted signal.
[[noreturn]] void EndInterrupted();

}  // namespace tessaly::media
