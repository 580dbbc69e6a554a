#include "app/list_ports.h"

#include "app/exit_status.h"
#include "link/port_catalogue.h"

namespace gp {

int RunListPorts(std::FILE* out, std::FILE* err) {
  const std::vector<PortInfo> ports = ListPorts();
  for (const PortInfo& port : ports) std::fprintf(out, "%s\n", ListLine(port).toLocal8Bit().constData());
  if (ports.empty()) std::fputs("No serial device is connected.\n", err);
  std::fflush(out);
  std::fflush(err);
  return kSuccessExitCode;
}

}  // namespace gp
