#pragma once
// Which end of the body the views draw on which side: the head on the left,
// so that the chain reads head, module 1, ..., module 8 from left to right,
// in the order the channels are numbered. The chain view and the robot view
// both take it from here, so the two pictures of one body always agree.
// Plain standard C++.

namespace gp::sim {

// -1: the head on the left of the screen; +1: on the right.
inline constexpr int kHeadScreenSide = -1;

// The label both views put beside the head.
inline constexpr const char* kHeadLabel = "head";

// The factor that turns a direction along the body, counted positive toward
// the head, into one along the screen's x (right positive).
constexpr double HeadwardToScreenX(double headward) { return headward * kHeadScreenSide; }

}  // namespace gp::sim
