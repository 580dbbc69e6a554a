#pragma once
// The "Gait" control in the panel's status line: opening and saving gait
// files and the presets by name. Kept out of the Tab order: Ctrl+G opens the
// menu.

#include <QPointer>
#include <QString>
#include <QToolButton>

#include "files/behaviour_file.h"
#include "files/gait_file.h"
#include "panel/behaviour_player.h"
#include "panel/search_dialog.h"

class QMenu;

namespace gp {

class PanelHost;

class GaitControl : public QToolButton {
  Q_OBJECT
 public:
  GaitControl(PanelHost& panel, QWidget* parent);

  // Enters the gait into the panel as if typed and tells which modules it
  // enables (the check boxes are the operator's). `source` names where it
  // came from.
  void applyGait(const files::Gait& gait, const QString& source);
  // Reads the file and applies it; a file that cannot be used is shown in a
  // critical box and changes nothing.
  bool openGait(const QString& path);
  // What the panel holds now: the table's values, the gait clock's interval
  // and the ticked modules.
  files::Gait currentGait() const;
  bool saveGait(const QString& path);

  // Offers "Search for a better gait..." in the menu, searching with this.
  void setSearch(GaitSearch search);
  // Opens the search dialog (or raises the one open) on the gait the panel
  // holds now; the gait found is entered only if the person opens it.
  SearchDialog* showSearch();

  // "Play behaviour...": reads the file and plays it; a file that cannot be
  // used is shown in a critical box and nothing is played.
  bool playBehaviour(const QString& path);
  BehaviourPlayer& player() { return player_; }

 private:
  void fillMenu();

  PanelHost& panel_;
  QMenu* menu_ = nullptr;
  GaitSearch search_;
  QPointer<SearchDialog> searchDialog_;
  BehaviourPlayer player_;
};

}  // namespace gp
