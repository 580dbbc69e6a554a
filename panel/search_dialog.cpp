#include "panel/search_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/message_box.h"

namespace gp {
namespace {

QString Duration(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  if (s < 60) return QStringLiteral("%1 s").arg(s);
  return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
}

}  // namespace

SearchDialog::SearchDialog(GaitSearch search, files::Gait start, QWidget* parent, const RobotProfile* profile)
    : QDialog(parent), search_(std::move(search)), start_(std::move(start)) {
  setObjectName(QStringLiteral("SearchDialog"));
  setWindowTitle(QStringLiteral("Search for a better gait"));
  if (search_.robot) robot_ = search_.robot();
  if (profile) profile_ = *profile;
  auto* layout = new QVBoxLayout(this);
  about_ = new QLabel(about(), this);
  about_->setObjectName(QStringLiteral("SearchAbout"));
  about_->setWordWrap(true);
  layout->addWidget(about_);

  auto* form = new QFormLayout;
  goal_ = new QComboBox(this);
  goal_->setObjectName(QStringLiteral("SearchGoal"));
  for (const GaitSearchGoal& goal : search_.goals) goal_->addItem(goal.title, goal.name);
  form->addRow(QStringLiteral("&Goal:"), goal_);
  evaluations_ = new QSpinBox(this);
  evaluations_->setObjectName(QStringLiteral("SearchEvaluations"));
  evaluations_->setRange(1, 100000);
  evaluations_->setValue(200);
  form->addRow(QStringLiteral("&Evaluations:"), evaluations_);
  minPositions_ = new QSpinBox(this);
  minPositions_->setObjectName(QStringLiteral("SearchMinPositions"));
  minPositions_->setRange(0, 1000);
  minPositions_->setValue(static_cast<int>(GaitSearchRequest{}.minPositions));
  minPositions_->setSpecialValueText(QStringLiteral("No rule"));
  minPositions_->setToolTip(QStringLiteral("Only gaits in which every servo that swings gets at least this many "
                                           "positions a gait period on the line"));
  form->addRow(QStringLiteral("&Fewest positions a period:"), minPositions_);
  layout->addLayout(form);

  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("SearchProgress"));
  bar_->setRange(0, 1);
  bar_->setValue(0);
  layout->addWidget(bar_);
  status_ = new QLabel(QStringLiteral("Each evaluation is one run of a candidate gait."), this);
  status_->setObjectName(QStringLiteral("SearchStatus"));
  status_->setWordWrap(true);
  layout->addWidget(status_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  searchButton_ = new QPushButton(QStringLiteral("&Search"), this);
  searchButton_->setObjectName(QStringLiteral("SearchStart"));
  searchButton_->setDefault(true);
  openButton_ = new QPushButton(QStringLiteral("&Open"), this);
  openButton_->setObjectName(QStringLiteral("SearchOpen"));
  openButton_->setToolTip(QStringLiteral("Enter the gait found into the panel, as \"Open gait...\" does"));
  saveButton_ = new QPushButton(QStringLiteral("Save..."), this);
  saveButton_->setObjectName(QStringLiteral("SearchSave"));
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("SearchCancel"));
  openButton_->hide();
  saveButton_->hide();
  for (QPushButton* b : {searchButton_, openButton_, saveButton_, cancelButton_}) buttons->addWidget(b);
  layout->addLayout(buttons);

  connect(searchButton_, &QPushButton::clicked, this, [this] { begin(); });
  connect(cancelButton_, &QPushButton::clicked, this, [this] { reject(); });
  connect(openButton_, &QPushButton::clicked, this, [this] {
    emit openGait(outcome_.best);
    accept();
  });
  connect(saveButton_, &QPushButton::clicked, this, [this] { saveResult(); });
  setMinimumWidth(460);
}

QString SearchDialog::about() const {
  const QString where = search_.describe ? search_.describe(robot_) : search_.setting;
  QString through = QStringLiteral("with no robot profile");
  if (profile_) {
    double low = kProfileAngleLimit, high = -kProfileAngleLimit;
    for (const ModuleProfile& m : profile_->modules) {
      low = std::min(low, m.min);
      high = std::max(high, m.max);
    }
    through = QStringLiteral("through the robot profile \"%1\", every swing kept within its limits (%2 to %3 degrees)")
                  .arg(QString::fromStdString(profile_->name))
                  .arg(low)
                  .arg(high);
  }
  return QStringLiteral("Searches on %1, %2, from the gait the panel holds now, with the modules ticked now. The "
                        "panel and the gait on the line are not changed.")
      .arg(where, through);
}

SearchDialog::~SearchDialog() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void SearchDialog::begin() {
  if (worker_.joinable()) return;
  GaitSearchRequest request;
  request.start = start_;
  request.goal = goal_->currentData().toString();
  request.evaluations = evaluations_->value();
  request.robot = robot_;
  request.profile = profile_;
  request.minPositions = minPositions_->value();
  goal_->setEnabled(false);
  evaluations_->setEnabled(false);
  minPositions_->setEnabled(false);
  searchButton_->setEnabled(false);
  bar_->setRange(0, request.evaluations);
  bar_->setValue(0);
  status_->setText(QStringLiteral("Searching..."));
  goalName_ = request.goal;
  // The search's progress and its end come back to this thread as events;
  // once the dialog is gone, undelivered ones go with it.
  worker_ = std::thread([this, request, run = search_.run] {
    GaitSearchOutcome outcome;
    if (run) {
      outcome = run(
          request,
          [this](const GaitSearchProgress& p) {
            QMetaObject::invokeMethod(this, [this, p] { showProgress(p); }, Qt::QueuedConnection);
          },
          cancel_);
    } else {
      outcome.error = QStringLiteral("The search is not available in this program.");
    }
    QMetaObject::invokeMethod(this, [this, outcome] { finish(outcome); }, Qt::QueuedConnection);
  });
}

QString SearchDialog::score(double value) const {
  return search_.scoreText ? search_.scoreText(goalName_, value) : QString::number(value);
}

void SearchDialog::showProgress(const GaitSearchProgress& p) {
  if (finished_) return;
  bar_->setValue(p.done);
  status_->setText(QStringLiteral("%1 of %2 evaluations, best %3, about %4 left.")
                       .arg(p.done)
                       .arg(p.total)
                       .arg(p.haveBest ? score(p.bestScore) : QStringLiteral("none yet"), Duration(p.secondsLeft)));
}

void SearchDialog::finish(const GaitSearchOutcome& outcome) {
  finished_ = true;
  if (worker_.joinable()) worker_.join();
  outcome_ = outcome;
  cancelButton_->setText(QStringLiteral("Close"));
  cancelButton_->setEnabled(true);
  if (closeWhenDone_) {
    QDialog::reject();
    return;
  }
  if (!outcome.error.isEmpty()) {
    status_->setText(outcome.error);
    ShowCritical(this, outcome.error);
    return;
  }
  bar_->setValue(outcome.evaluations);
  QString text = outcome.evaluations < outcome.requested
                     ? QStringLiteral("Cancelled after %1 of %2 evaluations.").arg(outcome.evaluations).arg(outcome.requested)
                     : QStringLiteral("Done: %1 evaluations.").arg(outcome.evaluations);
  if (outcome.haveBest) {
    text += QStringLiteral(" The best gait found scores %1").arg(score(outcome.bestScore));
    if (outcome.haveStart) text += QStringLiteral(", the panel's gait %1").arg(score(outcome.startScore));
    text += QStringLiteral(". Open it in the panel?");
    openButton_->show();
    saveButton_->show();
    openButton_->setDefault(true);
    openButton_->setFocus();
  } else {
    text += QStringLiteral(" No gait was found.");
  }
  status_->setText(text);
}

void SearchDialog::saveResult() {
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save gait"), QString(),
                                              QStringLiteral("Gait files (*.json)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
  QString error;
  if (!files::WriteGaitFile(path, outcome_.best, &error)) {
    ShowCritical(this, error);
    return;
  }
  status_->setText(status_->text() + QStringLiteral(" Saved to %1.").arg(QDir::toNativeSeparators(path)));
}

// "Cancel" and Escape stop a search under way and keep the dialog, which
// then offers the best gait so far; otherwise they close it.
void SearchDialog::reject() {
  if (searching()) {
    cancel_ = true;
    cancelButton_->setEnabled(false);
    status_->setText(QStringLiteral("Cancelling: the runs under way finish..."));
    return;
  }
  QDialog::reject();
}

void SearchDialog::closeEvent(QCloseEvent* event) {
  if (searching()) {
    cancel_ = true;
    closeWhenDone_ = true;
    hide();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace gp
