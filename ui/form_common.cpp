#include "ui/form_common.h"

#include <QComboBox>
#include <QLineEdit>

namespace gp {
namespace {
const char* const kFontFamily = "MS Sans Serif";
}  // namespace

QFont FormFont(double points) {
  QFont font{QString::fromLatin1(kFontFamily)};
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  return font;
}

void InstallFormFontSubstitutes() {
  static const bool once = [] {
    QFont::insertSubstitutions(QString::fromLatin1(kFontFamily),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                                QStringLiteral("DejaVu Sans Condensed")});
    return true;
  }();
  (void)once;
}

QComboBox* MakeListOnlyComboBox(QWidget* parent, const QString& name) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setCompleter(nullptr);
  QObject::disconnect(combo->lineEdit(), SIGNAL(editingFinished()), combo, nullptr);
  return combo;
}

}  // namespace gp
