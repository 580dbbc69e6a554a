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
  if (result.haveStart) j.Key("start_score").Fixed(result.startScore, 6);
  else j.Key("start_score").Null();
  if (result.haveBest) j.Key("best_score").Fixed(result.bestScore, 6);
  else j.Key("best_score").Null();
  WaveJson(j.Key("start"), result.startParameters);
  if (result.haveBest) WaveJson(j.Key("best"), result.best);
  else j.Key("best").Null();
  if (result.haveBest) j.Key("output").String(output);
  else j.Key("output").Null();
  j.EndObject();
  return j.text() + "\n";
}

}  // namespace gp::sim
