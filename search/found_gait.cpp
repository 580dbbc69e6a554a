#include "search/found_gait.h"

#include <cmath>

#include "core/conversions.h"
#include "core/json_writer.h"

namespace gp::sim {
namespace {

void WaveJson(JsonWriter& j, const WaveParameters& w) {
  j.BeginObject();
  j.Key("amplitude").Integer(w.amplitude);
  j.Key("phase_step").Fixed(w.phaseStep, 1);
  j.Key("centre_offset").Integer(w.centreOffset);
  j.Key("interval_ms").Integer(w.intervalMs);
  j.EndObject();
}

std::string FloorText(const Floor& f) { return FixedText(f.along, 3) + " along, " + FixedText(f.across, 3) + " across"; }

void FloorJson(JsonWriter& j, const Floor& f) {
  j.BeginObject();
  j.Key("along").Fixed(f.along, 4);
  j.Key("across").Fixed(f.across, 4);
  j.EndObject();
}

}  // namespace

std::string SearchSetting::LineName() const { return idealLine ? "ideal" : "9600"; }

std::string SearchSetting::Where() const {
  return "the " + robot + ", " + LineName() + " line, " + FixedText(seconds, seconds == std::floor(seconds) ? 0 : 1) +
         " s a run";
}

int ScoreDigits(SearchGoal goal) { return goal == SearchGoal::Forward ? 4 : 2; }

std::string ScoreText(SearchGoal goal, double score) {
  return FixedText(score, ScoreDigits(goal)) + " " + GoalUnit(goal);
}

std::string WaveText(const WaveParameters& w) {
  return "amplitude " + std::to_string(w.amplitude) + ", phase step " + FixedText(w.phaseStep, 1) +
         " degrees, centre offset " + std::to_string(w.centreOffset) + ", interval " + std::to_string(w.intervalMs) +
         " ms";
}

std::string RobotSentence(const std::string& robot) {
  if (robot == "snake") return "Snake robot.";
  if (robot == "caterpillar") return "Caterpillar robot.";
  if (robot == "pitch-yaw") return "Pitch-yaw snake robot.";
  return "The robot of the model " + robot + ".";
}

std::string FoundGaitNotes(const FoundGaitSource& start, const SearchResult& result, const SearchSetting& setting) {
  // The first sentence names the robot, as the presets' notes do, so that a
  // run on another robot warns of it.
  std::string notes = RobotSentence(setting.robot) + " Found by the gait search from " + start.fileName;
  if (!start.gaitName.empty()) notes += " (\"" + start.gaitName + "\")";
  notes += ", goal " + std::string(GoalName(setting.goal)) + ", on " + setting.Where() + ", " +
           std::to_string(result.evaluations) + " evaluations";
  if (!setting.profile.empty()) notes += ", within the limits of the robot profile \"" + setting.profile + "\"";
  if (result.interrupted) notes += " (stopped early: " + std::to_string(result.requested) + " were asked for)";
  notes += ". It scored " + ScoreText(setting.goal, result.bestScore);
  if (result.haveStart) notes += " against the start's " + ScoreText(setting.goal, result.startScore);
  notes += ": " + WaveText(result.best) + ".";
  if (!setting.floors.empty()) {
    notes += std::string(" Scored by its ") + (setting.floorScore == FloorScore::Worst ? "worst" : "mean") + " over " +
             std::to_string(setting.floors.size()) + " floors (friction ";
    for (std::size_t f = 0; f < setting.floors.size(); ++f) notes += (f ? "; " : "") + FloorText(setting.floors[f]);
    notes += ").";
  } else if (setting.floor) {
    notes += " On a floor of friction " + FloorText(*setting.floor) + ".";
  }
  if (result.bestFewestPositions)
    notes += " Each servo that swings gets at least " + FixedText(*result.bestFewestPositions, 1) +
             " positions a gait period on the " + setting.LineName() + " line" +
             (setting.minPositions > 0 ? " (the search asked for " + FixedText(setting.minPositions, 1) + ")"
                                       : std::string(" (the search had no rule on it)")) +
             ".";
  if (!start.gaitNotes.empty()) notes += " The start's notes: " + start.gaitNotes;
  return notes;
}

std::string SearchResultJson(const SearchResult& result, const SearchSetting& setting, const std::string& output) {
  JsonWriter j;
  j.BeginObject();
  j.Key("goal").String(GoalName(setting.goal));
  j.Key("robot").String(setting.robot);
  j.Key("line").String(setting.LineName());
  j.Key("seconds").Fixed(setting.seconds, 3);
  j.Key("unit").String(GoalUnit(setting.goal));
  j.Key("evaluations").Integer(result.evaluations);
  j.Key("requested").Integer(result.requested);
  j.Key("interrupted").Bool(result.interrupted);
  j.Key("failed_evaluations").Integer(result.failed);
  j.Key("min_positions").Fixed(setting.minPositions, 1);
  j.Key("rejected_evaluations").Integer(result.rejected);
  if (!setting.floors.empty()) {
    j.Key("floors").BeginArray();
    for (const Floor& f : setting.floors) FloorJson(j, f);
    j.EndArray();
    j.Key("score").String(FloorScoreName(setting.floorScore));
  } else if (setting.floor) {
    FloorJson(j.Key("floors").BeginArray(), *setting.floor);
    j.EndArray();
  } else {
    j.Key("floors").Null();
  }
  if (result.haveStart) j.Key("start_score").Fixed(result.startScore, 6);
  else j.Key("start_score").Null();
  if (result.haveBest) j.Key("best_score").Fixed(result.bestScore, 6);
  else j.Key("best_score").Null();
  WaveJson(j.Key("start"), result.startParameters);
  if (result.haveBest) WaveJson(j.Key("best"), result.best);
  else j.Key("best").Null();
  if (result.haveBest && result.bestFewestPositions) j.Key("best_positions_per_period").Fixed(*result.bestFewestPositions, 2);
  else j.Key("best_positions_per_period").Null();
  if (result.haveBest) j.Key("output").String(output);
  else j.Key("output").Null();
  j.EndObject();
  return j.text() + "\n";
}

}  // namespace gp::sim
