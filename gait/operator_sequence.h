#pragma once
// What the operator does on the panel, as the commands it sends and the gait
// state it sets: the panel's handlers do it by these, and so does a run of a
// gait without the panel, so that both put the same bytes on the line.

#include "gait/module_table.h"
#include "protocol/command_sink.h"

namespace gp {

// The Delay count that "Enable All", "Move" and "Exit" hold the line for
// between their two steps.
constexpr double kDelayCount = 2000.0;

// Ticking (on) or clearing the check box of `row`: rows 1 to 8 are the
// modules, row 9 the ninth channel. Stores ServoEnabled and sends the
// channel's enable or disable command.
void ClickCheck(ModuleTable& table, CommandSink& sink, int row, bool on);

// "Enable All": "SO", the delay, "SC".
void EnableAll(CommandSink& sink);

// "Move": what "Enable All" sends, then the gait runs.
void Move(GaitState& state, CommandSink& sink);

// Setting a gait going: ticks the box of every module the table enables, in
// order, then "Move".
void StartGait(ModuleTable& table, GaitState& state, CommandSink& sink);

// "Relax": the gait stops sending (Running 0, as the gait's own halt leaves
// it) and every module's servo is disabled, "SD00" to "SD07" in order.
// A link that queues positions drops them first (SerialLink::DropQueuedPositions).
void Relax(GaitState& state, CommandSink& sink);

// After "Relax": what ticking each ticked module's box sends, "SE00" to
// "SE07" for the modules the table enables, in order. The table, the run flag
// and the step are left as they are: "Move" sets the gait going again.
void Resume(const ModuleTable& table, CommandSink& sink);

}  // namespace gp
