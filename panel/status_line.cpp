#include "panel/status_line.h"

#include <QToolButton>

namespace gp {

void SetUpStatusLineButton(QToolButton& button, const char* name, const char* caption, const char* tip) {
  button.setObjectName(QString::fromLatin1(name));
  button.setText(QString::fromLatin1(caption));
  button.setToolTip(QString::fromLatin1(tip));
  button.setAutoRaise(true);
  // Beside the described window: never part of its Tab order.
  button.setFocusPolicy(Qt::NoFocus);
}

}  // namespace gp
