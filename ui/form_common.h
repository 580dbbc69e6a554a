#pragma once
// What the panel and the welcome window share: places in twips, the forms'
// font, and a combo box that chooses only from its list.

#include <QFont>
#include <QRect>

class QComboBox;
class QWidget;

namespace gp {

// The forms are laid out in twips, 15 to the pixel at 96 dots per inch.
constexpr int Px(int twips) { return twips / 15; }
inline QRect TwipRect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

// The forms' face at the given size; a sans-serif stands in where it is missing.
QFont FormFont(double points);

// Where the forms' face is missing, the nearest narrow sans-serif faces stand
// in, so that captions fit the fixed layout. Once per process is enough.
void InstallFormFontSubstitutes();

// An editable combo box whose choice is made only from the list, by mouse or
// arrow keys: Qt's would also choose the item whose text was typed in, on
// Enter or on leaving the box, and complete typed text from the list.
QComboBox* MakeListOnlyComboBox(QWidget* parent, const QString& name);

}  // namespace gp
