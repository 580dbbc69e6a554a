#include "gait/gait_tick.h"

#include <cmath>
#include <cstdint>

#include "gait/waveform.h"
#include "protocol/line_budget.h"
#include "protocol/protocol.h"

namespace gp {

// The line's budget counts a period in the gait's own steps.
static_assert(kLineBudgetStepsPerPeriod == kStepsPerPeriod);

namespace {

void SendPosition(ModuleTable& table, int n, CommandSink& sink) {
  const auto module = static_cast<std::int16_t>(n);
  table.CommandText[n] = BuildPositionCommand(kPositionPrefix, module, table.PulseHex[n]);
  SendServoCommand(sink, module, table.CommandText[n]);
}

}  // namespace

void GaitTick(ModuleTable& table, GaitState& state, CommandSink& sink, const ErrorBox& errorBox,
              ProfileApplier* profile, LiveGait* live) {
  state.StepIndex = static_cast<std::int16_t>(state.StepIndex + 1);
  if (state.StepIndex > kStepsPerPeriod) state.StepIndex = 1;
  // Read once: a loop that has begun visits every module even after the
  // error below has cleared the flag.
  if (profile) profile->Tick(IsTrue(state.Running));
  if (live) live->Tick(table, IsTrue(state.Running));
  if (!IsTrue(state.Running)) return;
  const bool shaped = live && live->active();

  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (!IsTrue(table.ServoEnabled[n])) continue;
    double angle = table.Angle[n];
    if (state.WaveFunction == 0) {
      angle = shaped ? live->Angle(n, state.StepIndex)
                     : GaitAngle(table.Amp[n], table.Phase[n], table.InitAngle[n], state.StepIndex);
    } else {
      if (errorBox) errorBox(kGaitErrorText);
      state.Running = kFalse;
    }
    const double centre = shaped ? live->Centre(n) : table.InitAngle[n];
    const double commanded = profile && std::isfinite(angle) ? profile->Map(n, angle, centre) : angle;
    const auto pulse = AngleToPulse(commanded);  // none for an angle that is not finite
    if (!pulse) continue;
    if (profile) profile->NotePulse(n, *pulse);
    table.Angle[n] = angle;
    table.PulseWidth[n] = *pulse;
    table.PulseHex[n] = PulseText(*pulse);
    SendPosition(table, n, sink);
  }
}

void PositionRefresh(ModuleTable& table, const GaitState& state, CommandSink& sink) {
  if (!IsTrue(state.Running)) return;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (!IsTrue(table.ServoEnabled[n]) || table.PulseHex[n].empty()) continue;
    SendPosition(table, n, sink);
  }
}

}  // namespace gp
