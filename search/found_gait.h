#pragma once
// What is said of a search and the gait it found, the same on the command
// line, in the panel and in the found gait's own notes: the setting it ran
// in, the scores with their unit and precision, the JSON the command line
// prints. Plain standard C++.

#include <optional>
#include <string>
#include <vector>

#include "search/gait_search.h"

namespace gp::sim {

// The robot, line and length of every run of one search.
struct SearchSetting {
  SearchGoal goal = SearchGoal::Forward;
  std::string robot;  // as the robot names itself
  bool idealLine = false;
  double seconds = 10;
  std::string profile;  // the robot profile's name the runs went through, or empty for none
  double minPositions = kFewestPositionsPerPeriod;  // the search's rule, 0 for none
  std::optional<Floor> floor{};  // one floor for every run, or the model's own
  std::vector<Floor> floors{};   // each gait on each, scored by floorScore
  FloorScore floorScore = FloorScore::Worst;
  std::string LineName() const;  // "ideal" or "9600"
  std::string Where() const;     // "the snake, 9600 line, 10 s a run"
};

// Scores in the JSON keep more digits than --simulate prints its distances
// with; texts for people these, with the goal's unit.
int ScoreDigits(SearchGoal goal);
std::string ScoreText(SearchGoal goal, double score);

// "amplitude 40, phase step 36.0 degrees, centre offset 0, interval 50 ms"
std::string WaveText(const WaveParameters& wave);

// "Caterpillar robot.": the sentence a gait's notes begin with to name the
// robot (as the robot names itself) it is for.
std::string RobotSentence(const std::string& robot);

// The notes of the gait found: the robot it was found for, how it was found, its score against the
// start's, its wave; then the start's own notes.
struct FoundGaitSource {
  std::string fileName;   // where the start came from, as people know it
  std::string gaitName;   // the start's own name, or empty
  std::string gaitNotes;  // the start's own notes, or empty
};
std::string FoundGaitNotes(const FoundGaitSource& start, const SearchResult& result, const SearchSetting& setting);

// The one JSON object --search prints, ending in a line feed.
std::string SearchResultJson(const SearchResult& result, const SearchSetting& setting, const std::string& output);

}  // namespace gp::sim
