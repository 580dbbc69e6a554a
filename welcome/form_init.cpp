#include "welcome/form_init.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "core/app_info.h"
#include "core/conversions.h"
#include "ui/form_common.h"

namespace gp {
namespace {

const QColor kDarkRed(192, 0, 0);

QLabel* Picture(QWidget* parent, const char* name, const QString& resource, const QRect& box, bool scaled) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(box);
  label->setPixmap(QPixmap(resource));
  label->setScaledContents(scaled);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLabel* DarkRedText(QWidget* parent, const char* name, const QString& text, const QRect& box) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(box);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, kDarkRed);
  label->setPalette(palette);
  return label;
}

}  // namespace

FormInit::FormInit(PanelFactory panelFactory, QWidget* parent)
    : QWidget(parent), panelFactory_(std::move(panelFactory)) {
  setObjectName(QStringLiteral("FormInit"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Korvel Module Robot Project"));
  resize(kClientWidth, kClientHeight);

  Picture(this, "Image3", QStringLiteral(":/welcome/snake.png"), TwipRect(0, 0, 5130, 3855), false);
  Picture(this, "Image2", QStringLiteral(":/welcome/caterpillar.png"), TwipRect(5160, 0, 5025, 3780), false);
  DarkRedText(this, "Label_intro",
              QStringLiteral("The Korvel module robot is a chain of eight joint modules, each turned by one "
                             "servo on a shared serial servo controller. A travelling sine wave makes the chain "
                             "slither like a snake or arch and crawl like a caterpillar; this panel sets each "
                             "module's amplitude, phase and centre angle and steps the wave."),
              TwipRect(120, 3840, 10215, 975));
  Picture(this, "Image1", QStringLiteral(":/welcome/module.png"), TwipRect(120, 4800, 4695, 3855), true);

  label1_ = new QLabel(QStringLiteral("User name:"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(TwipRect(6840, 5280, 2655, 255));

  textComboBox_ = new QLineEdit(QStringLiteral(" "), this);
  textComboBox_->setObjectName(QStringLiteral("Text_ComboBox"));
  textComboBox_->setGeometry(TwipRect(6840, 5640, 2655, 495));

  auto* label2 = new QLabel(QStringLiteral("Password:"), this);
  label2->setObjectName(QStringLiteral("Label2"));
  label2->setGeometry(TwipRect(6840, 6360, 2055, 375));

  // Only a pick from the list shows a position.
  combo1_ = MakeListOnlyComboBox(this, QStringLiteral("Combo1"));
  const char* const entries[] = {"11111", "22222", "33333", "44444", "55555"};
  for (int i = 0; i < 5; ++i) combo1_->addItem(QString::fromLatin1(entries[i]), i);
  combo1_->setCurrentIndex(0);
  // The box is as tall as its font makes it; only its place and width are set.
  const QRect comboBox = TwipRect(6840, 6720, 2655, 0);
  combo1_->setGeometry(comboBox.x(), comboBox.y(), comboBox.width(), combo1_->sizeHint().height());

  commandEnter_ = new QPushButton(QStringLiteral("Enter"), this);
  commandEnter_->setObjectName(QStringLiteral("Command_Enter"));
  commandEnter_->setGeometry(TwipRect(6840, 7440, 2655, 495));
  commandEnter_->setFont(FormFont(13.5));
  // Outside a dialog a push button ignores Enter unless it is auto-default;
  // with the focus on it, Enter and the space bar both press it.
  commandEnter_->setAutoDefault(true);

  QLabel* credit = DarkRedText(
      this, "Label_credit",
      QStringLiteral("Gait Panel %1 for the Korvel module robot project: eight servo modules on one serial "
                     "line, moved by one travelling wave. Pictures drawn for this project.")
          .arg(QString::fromUtf8(kAppVersion)),
      TwipRect(120, 8280, 11775, 1095));
  // The picture above reaches into the top of this box: the text keeps to
  // its foot so that the two never overlap.
  credit->setAlignment(Qt::AlignLeft | Qt::AlignBottom);

  setTabOrder(commandEnter_, combo1_);
  setTabOrder(combo1_, textComboBox_);
  commandEnter_->setFocus();

  connect(commandEnter_, &QPushButton::clicked, this, &FormInit::onCommandEnterClicked);
  connect(combo1_, qOverload<int>(&QComboBox::activated), this, &FormInit::onCombo1Activated);

  // The form's timer starts as the form is created.
  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(kHandOverMs);
  timer1_->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5% early
  connect(timer1_, &QTimer::timeout, this, &FormInit::onTimer1);
  timer1_->start();
}

FormInit::~FormInit() = default;

void FormInit::onTimer1() { HandOver(); }

void FormInit::onCommandEnterClicked() { HandOver(); }

void FormInit::onCombo1Activated(int index) {
  const QString position = QString::fromStdString(PlainDecimal(index));
  label1_->setText(position);
  textComboBox_->setText(position);
}

void FormInit::HandOver() {
  if (handedOver_) return;
  // Before the panel is created: its start-up may open a modal box, and timer
  // ticks and clicks that arrive while that box is open must not hand over a
  // second time.
  handedOver_ = true;
  timer1_->stop();
  QWidget* panel = panelFactory_ ? panelFactory_() : nullptr;
  if (panel != nullptr) panel->show();
  close();
}

}  // namespace gp
