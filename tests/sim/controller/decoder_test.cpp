#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gait/waveform.h"
#include "protocol/protocol.h"
#include "sim/controller/command_decoder.h"

namespace gp::sim {
namespace {

// Records every event as text, so that whole streams can be compared.
struct Recorder : DecoderListener {
  std::vector<DecodedCommand> commands;
  std::vector<MalformedCommand> malformed;
  std::vector<std::string> events;
  std::size_t bytes = 0;
  void OnCommand(const DecodedCommand& c) override {
    commands.push_back(c);
    bytes += c.length;
    events.push_back(CommandText(c) + "/" + std::to_string(c.pulseWidth) + "/" + std::to_string(c.length));
  }
  void OnMalformed(const MalformedCommand& m) override {
    malformed.push_back(m);
    bytes += m.length;
    events.push_back(std::string("bad:") + FaultText(m.fault) + ":" + m.bytes + "/" + std::to_string(m.length));
  }
};

Recorder Decode(std::string_view bytes, bool finish = true) {
  Recorder r;
  CommandDecoder d;
  d.Feed(bytes, r);
  if (finish) d.Finish(r);
  return r;
}

// The position exactly as the panel puts it on the line.
std::string Position(int module, std::int32_t width) {
  return PositionCommand(static_cast<std::int16_t>(module),
                         BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(module), PulseText(width)))
      .bytes;
}

std::string Control(std::string_view literal) { return ControlCommand(literal).bytes; }

// Every command the panel can send, with what the decoder must make of it.
struct Expected {
  std::string bytes;
  CommandKind kind;
  int channel;
  std::int32_t width;
};

std::vector<Expected> EveryCommand() {
  std::vector<Expected> all;
  for (int c = 0; c < 8; ++c) {
    all.push_back({Control(kEnableChannel[static_cast<std::size_t>(c)]), CommandKind::Enable, c, 0});
    all.push_back({Control(kDisableChannel[static_cast<std::size_t>(c)]), CommandKind::Disable, c, 0});
    for (std::int32_t w : {1500, 500, 2500, 1833, 5, 4096, 255, -1}) {
      all.push_back({Position(c + 1, w), CommandKind::Position, c, w});
    }
  }
  all.push_back({Control(kEnableNinth), CommandKind::Enable, 13, 0});
  all.push_back({Control(kDisableNinth), CommandKind::Disable, 13, 0});
  all.push_back({Control(kAllOn), CommandKind::AllOn, -1, 0});
  all.push_back({Control(kAllConfirm), CommandKind::AllConfirm, -1, 0});
  all.push_back({Control(kAllOff), CommandKind::AllOff, -1, 0});
  return all;
}

std::string Concat(const std::vector<Expected>& all) {
  std::string s;
  for (const auto& e : all) s += e.bytes;
  return s;
}

TEST(CommandDecoder, RecognisesEveryCommandByItsExactBytes) {
  // The bytes on the line as the controller sees them.
  EXPECT_EQ(Position(1, 1500), std::string("\x53\x57\x30\x20\x30\x30\x35\x44\x43\x0D\x0D"));
  for (const Expected& e : EveryCommand()) {
    SCOPED_TRACE(e.bytes);
    const Recorder r = Decode(e.bytes);
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_TRUE(r.malformed.empty());
    EXPECT_EQ(r.commands[0].kind, e.kind);
    EXPECT_EQ(r.commands[0].channel, e.channel);
    EXPECT_EQ(r.commands[0].length, e.bytes.size());
    if (e.kind == CommandKind::Position) {
      EXPECT_EQ(r.commands[0].pulseWidth, e.width);
    }
  }
  EXPECT_EQ(CommandText(Decode(Position(3, 1833)).commands.at(0)), "SW0 2 0729");
  EXPECT_EQ(CommandText(Decode(Control("SE13")).commands.at(0)), "SE13");
}

TEST(CommandDecoder, PulseFieldOfAnyLength) {
  EXPECT_EQ(Decode("SW0 0F\r\r").commands.at(0).pulseWidth, 15);
  EXPECT_EQ(Decode("SW0 7" + std::string(200, '0') + "9C4\r\r").commands.at(0).pulseWidth, 2500);
  EXPECT_EQ(Decode("SW0 07FFFFFFF\r\r").commands.at(0).pulseWidth, 2147483647);
  EXPECT_EQ(Decode("SW0 080000000\r\r").commands.at(0).pulseWidth, -2147483647 - 1);
  const Recorder wide = Decode("SW0 0100000000\r\r");  // nine significant digits
  ASSERT_EQ(wide.malformed.size(), 1u);
  EXPECT_EQ(wide.malformed[0].fault, Fault::PulseOutOfRange);
  EXPECT_EQ(wide.malformed[0].length, 16u);
}

TEST(CommandDecoder, AnySplitGivesTheSameEventsAsTheWhole) {
  const std::string stream = Concat(EveryCommand()) + "xx\rSW0 0\r\rSW0 05DC\rSO\r";
  const Recorder whole = Decode(stream);
  ASSERT_EQ(whole.commands.size(), EveryCommand().size() + 1);
  ASSERT_EQ(whole.malformed.size(), 3u);
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    Recorder r;
    CommandDecoder d;
    d.Feed(std::string_view(stream).substr(0, cut), r);
    d.Feed(std::string_view(stream).substr(cut), r);
    d.Finish(r);
    ASSERT_EQ(r.events, whole.events) << "split at " << cut;
  }
  Recorder bytewise;
  CommandDecoder d;
  for (char c : stream) d.Feed(std::string_view(&c, 1), bytewise);
  d.Finish(bytewise);
  EXPECT_EQ(bytewise.events, whole.events);
}

TEST(CommandDecoder, MalformedInputIsReportedAndDecodingResumesAtTheNextReturn) {
  struct Case {
    std::string bytes;
    Fault fault;
  };
  const std::vector<Case> cases = {
      {"SW0 0\r\r", Fault::EmptyPulseField},  // a refresh before the first step
      {"SW0 805DC\r\r", Fault::BadChannel},
      {"SW0 005dc\r\r", Fault::BadPulseField},
      {"SW0 0 5DC\r\r", Fault::BadPulseField},
      {"SW00 05DC\r\r", Fault::UnknownCommand},
      {"SW1\r\r", Fault::UnknownCommand},
      {"SE08\r", Fault::BadChannel},
      {"SD14\r", Fault::BadChannel},
      {"SE0\r", Fault::UnknownCommand},
      {"SE001\r", Fault::UnknownCommand},
      {"SX\r", Fault::UnknownCommand},
      {"so\r", Fault::UnknownCommand},
      {"SO \r", Fault::UnknownCommand},
      {"\r", Fault::EmptyCommand},
      {std::string("\x00\xff\n\x1b", 4) + "\r", Fault::UnknownCommand},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const Recorder r = Decode(c.bytes + "SE01\r");
    ASSERT_EQ(r.malformed.size(), 1u);
    EXPECT_EQ(r.malformed[0].fault, c.fault);
    EXPECT_EQ(r.malformed[0].bytes, c.bytes);
    EXPECT_EQ(r.malformed[0].length, c.bytes.size());
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(CommandText(r.commands[0]), "SE01");
  }
  // Stray bytes in front of a command spoil that line only.
  const Recorder stray = Decode("zzSO\rSC\r");
  ASSERT_EQ(stray.malformed.size(), 1u);
  EXPECT_EQ(stray.malformed[0].bytes, "zzSO\r");
  ASSERT_EQ(stray.commands.size(), 1u);
  EXPECT_EQ(stray.commands[0].kind, CommandKind::AllConfirm);
  // A command followed by an extra return: the command and one empty line.
  const Recorder extra = Decode("SF\r\r");
  EXPECT_EQ(extra.commands.size(), 1u);
  ASSERT_EQ(extra.malformed.size(), 1u);
  EXPECT_EQ(extra.malformed[0].fault, Fault::EmptyCommand);
}

TEST(CommandDecoder, PositionMissingItsSecondReturnIsMalformedAndTheNextCommandSurvives) {
  const Recorder r = Decode("SW0 005DC\rSW0 109C4\r\rSW0 2" "01F4\r");
  ASSERT_EQ(r.malformed.size(), 2u);
  EXPECT_EQ(r.malformed[0].fault, Fault::MissingSecondReturn);
  EXPECT_EQ(r.malformed[0].bytes, "SW0 005DC\r");
  ASSERT_EQ(r.commands.size(), 1u);
  EXPECT_EQ(r.commands[0].channel, 1);
  EXPECT_EQ(r.commands[0].pulseWidth, 2500);
  // The last one is only known to be incomplete when the stream ends.
  EXPECT_EQ(r.malformed[1].fault, Fault::MissingSecondReturn);
  EXPECT_EQ(r.malformed[1].bytes, "SW0 201F4\r");

  Recorder pending;
  CommandDecoder d;
  d.Feed("SW0 005DC\r", pending);
  EXPECT_TRUE(pending.events.empty());
  EXPECT_EQ(d.pendingBytes(), 10u);
  d.Feed("\r", pending);
  EXPECT_EQ(pending.commands.size(), 1u);
  EXPECT_EQ(d.pendingBytes(), 0u);
}

TEST(CommandDecoder, EndlessLineKeepsBoundedBytes) {
  const std::string junk(100000, 'A');
  const Recorder r = Decode(junk + "\rSO\r");
  ASSERT_EQ(r.malformed.size(), 1u);
  EXPECT_EQ(r.malformed[0].length, junk.size() + 1);
  EXPECT_EQ(r.malformed[0].bytes.size(), MalformedCommand::kKeptBytes);
  EXPECT_EQ(HexBytes(r.malformed[0]).substr(0, 8), "41 41 41");
  EXPECT_NE(HexBytes(r.malformed[0]).find("(+99953 bytes)"), std::string::npos);
  EXPECT_EQ(r.commands.size(), 1u);
  EXPECT_EQ(HexBytes(Decode("SW0 0\r\r").malformed.at(0)), "53 57 30 20 30 0D 0D");
}

TEST(CommandDecoder, LongRandomStreamsAddUp) {
  std::mt19937 rng(20261208);
  const std::vector<Expected> all = EveryCommand();
  // Valid commands mixed with junk lines that cannot be valid (they do not
  // begin with S): every segment must come out as exactly one event.
  std::string stream;
  std::size_t valid = 0, junk = 0;
  for (int i = 0; i < 20000; ++i) {
    if (rng() % 4 != 0) {
      stream += all[rng() % all.size()].bytes;
      ++valid;
    } else {
      std::string line(rng() % 20, '\0');
      for (char& c : line) {
        do c = static_cast<char>(rng() & 0xff);
        while (c == '\r');
      }
      if (!line.empty() && line[0] == 'S') line[0] = 's';
      stream += line + '\r';
      ++junk;
    }
  }
  Recorder r;
  CommandDecoder d;
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t n = std::min<std::size_t>(rng() % 64, stream.size() - at);
    d.Feed(std::string_view(stream).substr(at, n), r);
    at += n;
  }
  EXPECT_EQ(r.commands.size(), valid);
  EXPECT_EQ(r.malformed.size(), junk);
  EXPECT_EQ(r.bytes + d.pendingBytes(), stream.size());

  // Entirely random bytes, carriage returns and command letters frequent.
  const char alphabet[] = "SWEDOCF0123456789ABC \r\r\r\x00\xff";
  std::string noise(200000, '\0');
  for (char& c : noise) c = alphabet[rng() % (sizeof alphabet - 1)];
  Recorder n;
  CommandDecoder nd;
  nd.Feed(noise, n);
  EXPECT_EQ(n.bytes + nd.pendingBytes(), noise.size());
  nd.Finish(n);
  EXPECT_EQ(n.bytes, noise.size());
  EXPECT_GT(n.commands.size(), 0u);
}

}  // namespace
}  // namespace gp::sim
