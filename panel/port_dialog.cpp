#include "panel/port_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/app_info.h"

namespace gp {
namespace {

constexpr int kRefreshMs = 1000;  // a device plugged in shows up while the list is open

QString RowText(const PortInfo& port) {
  QStringList parts{port.preferredName()};
  if (!port.stableName.isEmpty()) parts << port.path;
  if (!port.description.isEmpty()) parts << port.description;
  if (!port.usbId.isEmpty()) parts << port.usbId;
  return parts.join(QStringLiteral("  \u2014  "));
}

bool Names(const PortInfo& port, const QString& name) {
  if (name.isEmpty()) return false;
  if (port.path == name || port.stableName == name) return true;
  const QString canonical = QFileInfo(name).canonicalFilePath();
  return !canonical.isEmpty() && canonical == port.path;
}

}  // namespace

PortDialog::PortDialog(Kind kind, const QString& message, const QString& current, Handler handler, QWidget* parent)
    : QDialog(parent), kind_(kind), handler_(std::move(handler)), current_(current) {
  setObjectName(QStringLiteral("PortDialog"));
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setMinimumWidth(560);

  auto* layout = new QVBoxLayout(this);
  message_ = new QLabel(message, this);
  message_->setObjectName(QStringLiteral("PortMessage"));
  message_->setWordWrap(true);
  // So that the fix it names can be copied into a terminal.
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(message_);

  auto* caption = new QLabel(QStringLiteral("Serial devices:"), this);
  layout->addWidget(caption);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("PortList"));
  caption->setBuddy(list_);
  list_->setMinimumHeight(list_->fontMetrics().height() * 6);
  list_->setMaximumHeight(list_->fontMetrics().height() * 12);
  layout->addWidget(list_);
  // A device the system does not list (a link of the person's own, a
  // pseudo-terminal) can be named here.
  auto* nameRow = new QFormLayout;
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("PortName"));
  nameRow->addRow(QStringLiteral("Device:"), name_);
  layout->addLayout(nameRow);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < static_cast<int>(ports_.size())) name_->setText(ports_[row].preferredName());
  });
  connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) { open_->setEnabled(!text.isEmpty()); });

  auto* buttons = new QDialogButtonBox(this);
  open_ = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
  open_->setObjectName(QStringLiteral("Open"));
  // Return keeps today's behaviour unless the person picks "Open".
  open_->setAutoDefault(false);
  connect(open_, &QPushButton::clicked, this, [this] { act(Action::Open); });
  if (kind_ == Kind::AtStart) {
    QPushButton* carryOn = buttons->addButton(QStringLiteral("Continue without the robot"), QDialogButtonBox::RejectRole);
    carryOn->setObjectName(QStringLiteral("Continue"));
    carryOn->setDefault(true);
    connect(carryOn, &QPushButton::clicked, this, &QDialog::reject);
  } else {
    for (auto [name, action] : {std::pair{"Reconnect", Action::Reconnect}, std::pair{"Disconnect", Action::Disconnect}}) {
      QPushButton* button = buttons->addButton(QString::fromLatin1(name), QDialogButtonBox::ActionRole);
      button->setObjectName(QString::fromLatin1(name));
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, a = action] { act(a); });
    }
  }
  layout->addWidget(buttons);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { act(Action::Open); });

  refreshList();
  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, [this] { refreshList(); });
  refresh_->start();
}

QString PortDialog::message() const { return message_->text(); }

void PortDialog::selectPort(const QString& name) {
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    if (Names(ports_[i], name)) list_->setCurrentRow(static_cast<int>(i));
  }
}

void PortDialog::refreshList() {
  std::vector<PortInfo> ports = ListPorts();
  // The wanted device, where it exists but the system does not list it
  // (a pseudo-terminal, a device behind a link of the person's own).
  const QString canonical = QFileInfo(current_).canonicalFilePath();
  if (!canonical.isEmpty() &&
      std::none_of(ports.begin(), ports.end(), [&](const PortInfo& p) { return Names(p, current_); })) {
    PortInfo own;
    own.path = canonical;
    if (canonical != QFileInfo(current_).absoluteFilePath()) own.stableName = current_;
    ports.insert(ports.begin(), own);
  }
  const auto samePaths = [&] {
    if (ports.size() != ports_.size()) return false;
    for (std::size_t i = 0; i < ports.size(); ++i) {
      if (ports[i].path != ports_[i].path || ports[i].stableName != ports_[i].stableName) return false;
    }
    return true;
  };
  if (samePaths() && list_->count() > 0) return;

  const int row = list_->currentRow();
  const QString selected = row >= 0 && row < static_cast<int>(ports_.size()) ? ports_[row].preferredName() : current_;
  ports_ = std::move(ports);
  list_->clear();
  for (const PortInfo& port : ports_) list_->addItem(RowText(port));
  if (ports_.empty()) {
    auto* none = new QListWidgetItem(QStringLiteral("No serial device is connected."), list_);
    none->setFlags(Qt::NoItemFlags);
  }
  list_->setCurrentRow(ports_.empty() ? -1 : 0);
  selectPort(selected);
  open_->setEnabled(!name_->text().isEmpty());
}

void PortDialog::act(Action action) {
  const int row = list_->currentRow();
  PortInfo chosen;
  if (row >= 0 && row < static_cast<int>(ports_.size()) && ports_[row].preferredName() == name_->text()) {
    chosen = ports_[row];
  } else {
    chosen.path = name_->text().trimmed();
  }
  if (action == Action::Open && chosen.path.isEmpty()) return;
  const QString why = handler_(action, chosen);
  if (why.isEmpty()) {
    accept();
    return;
  }
  message_->setText(why);
}

}  // namespace gp
