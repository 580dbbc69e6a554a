#pragma once
// A search's result as a picture a person opens in a browser: on the left the
// best score against evaluations (every evaluation's own score behind it),
// on the right the path of the best gait's centre of mass beside the start's.
// Plain standard C++: SVG text.

#include <string>

#include "search/gait_search.h"

namespace gp::sim {

struct SearchReportText {
  std::string title;     // the first line, e.g. "Gait search: forward on the snake, 9600 line"
  std::string subtitle;  // the second, e.g. what was found against the start
  std::string detail;    // the third, e.g. the parameters found
};

std::string SearchReportSvg(const SearchResult& result, const SearchReportText& text);

}  // namespace gp::sim
