#pragma once
// The two timer-driven loops of the gait, on the table and the state, writing
// through a CommandSink so they run without a window.

#include <functional>
#include <string>

#include "gait/live_gait.h"
#include "gait/module_table.h"
#include "gait/robot_profile.h"
#include "protocol/command_sink.h"

namespace gp {

// Shows the gait's modal error message and returns when it is closed.
using ErrorBox = std::function<void(const std::string& text)>;

constexpr const char* kGaitErrorText = "Error";

// One tick of the gait clock: advances StepIndex (1 to 20, round again) on
// every tick; while Running, computes and sends the position of every enabled
// module in ascending order. A control function other than the sine shows
// "Error" once per enabled module and clears Running, each box followed by
// that module's command from its last angle. A module whose angle or pulse
// comes out undefined (only an absurd phase does this) sends nothing on that
// tick and keeps its last cells.
// With a profile, each angle is mapped through it before the pulse
// conversion (Angle keeps the gait's own angle); without one, nothing differs.
// With a live gait that is shaping the gait (a change under way, steering),
// the angles come from it instead of the waveform; otherwise, or without
// one, nothing differs either.
void GaitTick(ModuleTable& table, GaitState& state, CommandSink& sink, const ErrorBox& errorBox,
              ProfileApplier* profile = nullptr, LiveGait* live = nullptr);

// One tick of the refresh clock: while Running, re-sends every enabled
// module's last position. A module that has no position yet is skipped: a
// position command with an empty width field is corrupt.
void PositionRefresh(ModuleTable& table, const GaitState& state, CommandSink& sink);

}  // namespace gp
