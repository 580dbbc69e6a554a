#pragma once
// Text for the terminal, in the locale's encoding, written at once: a
// headless run's messages must be on the terminal before it exits or is
// stopped, even when the stream is a pipe.

#include <QString>
#include <cstdio>

namespace gp {

void Print(std::FILE* to, const QString& text);

}  // namespace gp
