#pragma once
// gaitpanel --list-ports: the serial devices, one a line, without a display.

#include <cstdio>

namespace gp {

// Prints every serial device to out (see ListLine), or a note to err that
// there is none. Returns the exit status: 0.
int RunListPorts(std::FILE* out, std::FILE* err);

}  // namespace gp
