#include "search/search_goal.h"

#include <iterator>

namespace gp::sim {
namespace {

struct Goal {
  SearchGoal goal;
  const char* name;
  const char* title;
  const char* unit;
};

constexpr Goal kGoals[] = {
    {SearchGoal::Forward, "forward", "Forward (m/s)", "m/s"},
    {SearchGoal::TurnLeft, "turn-left", "Turn left (degrees a second)", "deg/s"},
    {SearchGoal::TurnRight, "turn-right", "Turn right (degrees a second)", "deg/s"},
};
static_assert(std::size(kGoals) == std::size(kSearchGoals));

const Goal& Of(SearchGoal goal) {
  for (const Goal& g : kGoals) {
    if (g.goal == goal) return g;
  }
  return kGoals[0];
}

}  // namespace

std::optional<SearchGoal> GoalFromName(const std::string& name) {
  for (const Goal& g : kGoals) {
    if (name == g.name) return g.goal;
  }
  return std::nullopt;
}

const char* GoalName(SearchGoal goal) { return Of(goal).name; }
const char* GoalTitle(SearchGoal goal) { return Of(goal).title; }
const char* GoalUnit(SearchGoal goal) { return Of(goal).unit; }

std::string GoalNameList() {
  std::string list;
  for (std::size_t i = 0; i < std::size(kGoals); ++i)
    list += (i == 0 ? "" : i + 1 == std::size(kGoals) ? " or " : ", ") + std::string(kGoals[i].name);
  return list;
}

std::string GoalNameChoice() {
  std::string choice;
  for (const Goal& g : kGoals) choice += (choice.empty() ? "" : "|") + std::string(g.name);
  return choice;
}

double GoalScore(SearchGoal goal, const HeadlessResult& run) {
  if (!(run.seconds > 0)) return 0;
  switch (goal) {
    case SearchGoal::Forward: return run.forward / run.seconds;
    case SearchGoal::TurnLeft: return run.headingChangeDeg / run.seconds;
    case SearchGoal::TurnRight: return -run.headingChangeDeg / run.seconds;
  }
  return 0;
}

}  // namespace gp::sim
