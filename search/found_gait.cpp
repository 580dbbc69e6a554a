#include "search/found_gait.h"

#include <cmath>

#include "sim/headless_run.h"

namespace gp::sim {
namespace {

std::string WaveJson(const WaveParameters& w) {
  return "{\"amplitude\": " + std::to_string(w.amplitude) + ", \"phase_step\": " + JsonFixed(w.phaseStep, 1) +
         ", \"centre_offset\": " + std::to_string(w.centreOffset) + ", \"interval_ms\": " + std::to_string(w.intervalMs) +
         "}";
}

}  // namespace

std::string SearchSetting::LineName() const { return idealLine ? "ideal" : "9600"; }

std::string SearchSetting::Where() const {
  return "the " + robot + ", " + LineName() + " line, " + JsonFixed(seconds, seconds == std::floor(seconds) ? 0 : 1) +
         " s a run";
}

int ScoreDigits(SearchGoal goal) { return goal == SearchGoal::Forward ? 4 : 2; }

std::string ScoreText(SearchGoal goal, double score) {
  return JsonFixed(score, ScoreDigits(goal)) + " " + GoalUnit(goal);
}

std::string WaveText(const WaveParameters& w) {
  return "amplitude " + std::to_string(w.amplitude) + ", phase step " + JsonFixed(w.phaseStep, 1) +
         " degrees, centre offset " + std::to_string(w.centreOffset) + ", interval " + std::to_string(w.intervalMs) +
         " ms";
}

std::string FoundGaitNotes(const FoundGaitSource& start, const SearchResult& result, const SearchSetting& setting) {
  std::string notes = "Found by the gait search from " + start.fileName;
  if (!start.gaitName.empty()) notes += " (\"" + start.gaitName + "\")";
  notes += ", goal " + std::string(GoalName(setting.goal)) + ", on " + setting.Where() + ", " +
           std::to_string(result.evaluations) + " evaluations";
  if (result.interrupted) notes += " (stopped early: " + std::to_string(result.requested) + " were asked for)";
  notes += ". It scored " + ScoreText(setting.goal, result.bestScore);
  if (result.haveStart) notes += " against the start's " + ScoreText(setting.goal, result.startScore);
  notes += ": " + WaveText(result.best) + ".";
  if (!start.gaitNotes.empty()) notes += " The start's notes: " + start.gaitNotes;
  return notes;
}

std::string SearchResultJson(const SearchResult& result, const SearchSetting& setting, const std::string& output) {
  std::string j = "{\"goal\": " + JsonQuoted(GoalName(setting.goal));
  j += ", \"robot\": " + JsonQuoted(setting.robot);
  j += ", \"line\": " + JsonQuoted(setting.LineName());
  j += ", \"seconds\": " + JsonFixed(setting.seconds, 3);
  j += ", \"unit\": " + JsonQuoted(GoalUnit(setting.goal));
  j += ", \"evaluations\": " + std::to_string(result.evaluations);
  j += ", \"requested\": " + std::to_string(result.requested);
  j += ", \"interrupted\": " + std::string(result.interrupted ? "true" : "false");
  j += ", \"failed_evaluations\": " + std::to_string(result.failed);
  j += ", \"start_score\": " + (result.haveStart ? JsonFixed(result.startScore, 6) : std::string("null"));
  j += ", \"best_score\": " + (result.haveBest ? JsonFixed(result.bestScore, 6) : std::string("null"));
  j += ", \"start\": " + WaveJson(result.startParameters);
  j += ", \"best\": " + (result.haveBest ? WaveJson(result.best) : std::string("null"));
  j += ", \"output\": " + (result.haveBest ? JsonQuoted(output) : std::string("null"));
  return j + "}\n";
}

}  // namespace gp::sim
