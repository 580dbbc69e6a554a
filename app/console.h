#pragma once
// Text for the terminal, in the locale's encoding, written at once: a
// headless run's messages must be on the terminal before it exits or is
// stopped, even when the stream is a pipe.

#include <QString>
#include <cstdio>
#include <string>

namespace gp {

void Print(std::FILE* to, const QString& text);

// Writes text whole and flushes it; false with *why = "standard output:
// cannot be written: <the system's reason>" when any of it did not go (a
// full disk behind a redirection, a closed pipe). `name` names the stream.
bool WriteChecked(std::FILE* to, const std::string& text, const char* name, std::string* why);

}  // namespace gp
