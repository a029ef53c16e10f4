#pragma once

#include <cstdio>

// Checked a little after set-up: another library may have replaced the kit's
// handler of a fatal signal, and then crashes go unrecorded. Writes one line to
// `out` per such signal, naming the handler in force. Nothing when a debugger
// is attached (no handler was installed then). Answers the number of lines.
int CWSignalCheckForeignHandlers(std::FILE* out = stderr);
