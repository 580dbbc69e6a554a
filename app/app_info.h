#pragma once
// The program's name as people see it: it captions every message box.

namespace gp {
constexpr const char* kAppTitle = "Gait Panel";
constexpr const char* kAppName = "gaitpanel";
constexpr const char* kAppVersion = "1.0.0";
}  // namespace gp
