// Feeds arbitrary bytes to the controller's decoder, whole and in pieces, and
// checks that both give the same events and that every byte is accounted for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sim/controller/command_decoder.h"

namespace {

struct Events : gp::sim::DecoderListener {
  std::vector<std::string> log;
  std::size_t bytes = 0;
  void OnCommand(const gp::sim::DecodedCommand& c) override {
    bytes += c.length;
    log.push_back(gp::sim::CommandText(c) + '/' + std::to_string(c.pulseWidth) + '/' + std::to_string(c.length));
  }
  void OnMalformed(const gp::sim::MalformedCommand& m) override {
    if (m.length == 0 || m.bytes.size() > gp::sim::MalformedCommand::kKeptBytes || m.bytes.size() > m.length)
      std::abort();
    bytes += m.length;
    log.push_back(std::string(gp::sim::FaultText(m.fault)) + ':' + gp::sim::HexBytes(m));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the piece size; the rest is the stream.
  const std::size_t piece = data[0] % 17 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

  Events whole;
  gp::sim::CommandDecoder a;
  a.Feed(stream, whole);
  if (whole.bytes + a.pendingBytes() != stream.size()) std::abort();
  a.Finish(whole);
  if (whole.bytes != stream.size() || a.pendingBytes() != 0) std::abort();

  Events pieces;
  gp::sim::CommandDecoder b;
  for (std::size_t at = 0; at < stream.size(); at += piece) b.Feed(stream.substr(at, piece), pieces);
  b.Finish(pieces);
  if (pieces.log != whole.log) std::abort();
  return 0;
}
