#include "sim/controller_window.h"

#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>

#include "sim/virtual_controller.h"

#if defined(__unix__) || defined(__APPLE__)
#include <time.h>
#endif

namespace gp::sim {
namespace {

// CPU time of this thread where the platform tells it, else wall time: the
// drawing's own cost, not the time the scheduler gave to someone else.
std::chrono::nanoseconds ThreadTime() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
#else
  return std::chrono::steady_clock::now().time_since_epoch();
#endif
}

const QColor kBackground(0x1b, 0x20, 0x26);
const QColor kPanel(0x24, 0x2a, 0x32);
const QColor kGrid(0x3a, 0x42, 0x4c);
const QColor kText(0xe8, 0xea, 0xed);
const QColor kDim(0x8d, 0x96, 0xa0);
const QColor kGood(0x7c, 0xd9, 0x92);
const QColor kWarn(0xff, 0x8a, 0x65);
const QColor kOff(0x55, 0x5d, 0x67);

// One colour per channel, the same in the chain, the table and the plot.
const std::array<QColor, kChannels> kChannelColours = {
    QColor(0x4f, 0xc3, 0xf7), QColor(0x81, 0xc7, 0x84), QColor(0xff, 0xd5, 0x4f),
    QColor(0xff, 0x8a, 0x65), QColor(0xba, 0x68, 0xc8), QColor(0xf0, 0x62, 0x92),
    QColor(0x4d, 0xb6, 0xac), QColor(0xdc, 0xe7, 0x75)};

constexpr double kLineBytesPerSecond = line::kBytesPerSecond;

QColor ChannelColour(int c) { return kChannelColours[static_cast<std::size_t>(c)]; }

QFont Font(int pixels, bool bold = false, bool mono = false) {
  QFont f;
  if (mono) {
    f.setFamily(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
  }
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QString Degrees(double angle) {
  return QStringLiteral("%1%2\u00b0").arg(angle >= 0 ? QStringLiteral("+") : QString()).arg(angle, 0, 'f', 1);
}

QString ControllerCommandName(CommandKind kind) {
  switch (kind) {
    case CommandKind::AllOn: return QStringLiteral("SO");
    case CommandKind::AllConfirm: return QStringLiteral("SC");
    case CommandKind::AllOff: return QStringLiteral("SF");
    default: return QString();
  }
}

// A view that paints one part of the window and charges its time to it.
// What changes only with the size (and with StaticKey) is drawn once into a
// pixmap; each frame puts that down and draws the live part over it.
class View : public QWidget {
 public:
  View(ControllerWindow& window, const char* name) : QWidget(&window), window_(window) {
    setObjectName(QString::fromLatin1(name));
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const auto begin = ThreadTime();
    const QRectF area = QRectF(rect()).adjusted(16, 14, -16, -14);
    const qreal ratio = devicePixelRatioF();
    const QString key = StaticKey();
    if (layer_.size() != size() * ratio || key != layerKey_) {
      layer_ = QPixmap(size() * ratio);
      layer_.setDevicePixelRatio(ratio);
      layer_.fill(kBackground);
      QPainter lp(&layer_);
      lp.setRenderHint(QPainter::Antialiasing);
      lp.setPen(Qt::NoPen);
      lp.setBrush(kPanel);
      lp.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 8, 8);
      PaintStatic(lp, area);
      layerKey_ = key;
    }
    QPainter p(this);
    p.drawPixmap(0, 0, layer_);
    p.setRenderHint(QPainter::Antialiasing);
    Paint(p, area);
    window_.addPaintTime(ThreadTime() - begin);
  }
  virtual void PaintStatic(QPainter& p, const QRectF& area) = 0;
  virtual void Paint(QPainter& p, const QRectF& area) = 0;
  virtual QString StaticKey() const { return QString(); }

  void Title(QPainter& p, const QRectF& area, const QString& text) {
    p.setFont(Font(13, true));
    p.setPen(kDim);
    p.drawText(area.topLeft() + QPointF(0, 13), text);
  }

  const ControllerModel& model() const { return window_.controller().model(); }
  std::int64_t now() const { return window_.controller().nowMs(); }

  ControllerWindow& window_;

 private:
  QPixmap layer_;
  QString layerKey_;
};

// The chain seen from above: a head, then modules 1 to 8, each turned at its
// joint by its channel's angle relative to the module before it.
class ChainView : public View {
 public:
  explicit ChainView(ControllerWindow& w) : View(w, "ChainView") { setMinimumHeight(250); }

 protected:
  static QRectF Room(const QRectF& area) { return area.adjusted(20, 26, -20, -8); }

  void PaintStatic(QPainter& p, const QRectF& area) override {
    Title(p, area, QStringLiteral("Robot, seen from above"));
    // A faint line through the middle shows the body's axis.
    const QRectF room = Room(area);
    p.setPen(QPen(kGrid, 1, Qt::DashLine));
    p.drawLine(QPointF(room.left(), room.center().y()), QPointF(room.right(), room.center().y()));
    p.setFont(Font(12));
    const QRectF legend(area.right() - 330, area.top(), 330, 16);
    p.setPen(kDim);
    p.drawText(legend, Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("filled: channel enabled    dashed: disabled"));
  }

  void Paint(QPainter& p, const QRectF& area) override {
    const QRectF room = Room(area);

    // Joint positions in module lengths, the head's joint at the origin.
    std::array<QPointF, kChannels + 2> pts;
    pts[0] = QPointF(-0.55, 0);
    pts[1] = QPointF(0, 0);
    double heading = 0;
    double sumX = 1, sumY = 0;  // the head points along +x
    for (int c = 0; c < kChannels; ++c) {
      heading += qDegreesToRadians(model().channel(c).angle);
      const QPointF d(std::cos(heading), -std::sin(heading));  // positive turns to the left
      pts[static_cast<std::size_t>(c) + 2] = pts[static_cast<std::size_t>(c) + 1] + d;
      sumX += d.x();
      sumY += d.y();
    }
    // Keep the body's mean direction level and its centre in the middle, as
    // a camera following the robot would.
    const double along = std::hypot(sumX, sumY) > 0.5 ? std::atan2(sumY, sumX) : 0.0;
    QPointF centre(0, 0);
    for (const QPointF& q : pts) centre += q;
    centre /= static_cast<double>(pts.size());
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (QPointF& q : pts) {
      const QPointF r = q - centre;
      q = QPointF(r.x() * std::cos(-along) - r.y() * std::sin(-along),
                  r.x() * std::sin(-along) + r.y() * std::cos(-along));
      minX = std::min(minX, q.x());
      maxX = std::max(maxX, q.x());
      minY = std::min(minY, q.y());
      maxY = std::max(maxY, q.y());
    }
    const double base = room.width() / 9.2;
    const double fit = std::min((room.width() - base * 0.6) / std::max(1e-6, 2 * std::max(-minX, maxX)),
                                (room.height() - base * 0.6) / std::max(1e-6, 2 * std::max(-minY, maxY)));
    const double len = std::min(base, fit);
    const QPointF mid = room.center();
    for (QPointF& q : pts) q = mid + q * len;

    const double body = len * 0.46;
    auto drawSegment = [&](QPointF a, QPointF b, const QColor& fill, const QColor& edge, Qt::PenStyle style) {
      const QLineF line(a, b);
      p.save();
      p.translate(a);
      p.rotate(-line.angle());
      // Filled shapes only: an edge as a fill beneath is far cheaper than a
      // wide stroked outline.
      const QRectF shape(0, -body / 2, line.length(), body);
      const double radius = body * 0.3;
      p.setPen(Qt::NoPen);
      if (style == Qt::SolidLine) {
        p.setBrush(edge);
        p.drawRoundedRect(shape.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
        p.setBrush(fill);
        p.drawRoundedRect(shape.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
      } else {
        QPen pen(edge, 1, style);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.setBrush(fill);
        p.drawRoundedRect(shape, radius, radius);
      }
      p.restore();
    };

    // Head.
    drawSegment(pts[0], pts[1], QColor(0x46, 0x50, 0x5c), kDim, Qt::SolidLine);
    {
      const QLineF headLine(pts[1], pts[0]);
      const QPointF tip = headLine.pointAt(0.75);
      const QPointF side = QLineF(QPointF(0, 0), QLineF::fromPolar(body * 0.22, headLine.angle() + 90).p2()).p2();
      p.setPen(Qt::NoPen);
      p.setBrush(kText);
      p.drawEllipse(tip + side, body * 0.08, body * 0.08);
      p.drawEllipse(tip - side, body * 0.08, body * 0.08);
    }

    p.setFont(Font(std::max(10, static_cast<int>(body * 0.42)), true));
    for (int c = 0; c < kChannels; ++c) {
      const ChannelState& ch = model().channel(c);
      const QPointF a = pts[static_cast<std::size_t>(c) + 1];
      const QPointF b = pts[static_cast<std::size_t>(c) + 2];
      const QColor colour = ChannelColour(c);
      if (ch.enabled) drawSegment(a, b, colour.darker(210), colour, Qt::SolidLine);
      else drawSegment(a, b, QColor(0x2e, 0x34, 0x3b), kOff, Qt::DashLine);
      p.setPen(ch.enabled ? kText : kDim);
      const QPointF m = (a + b) / 2;
      p.drawText(QRectF(m.x() - body, m.y() - body / 2, 2 * body, body), Qt::AlignCenter,
                 QString::number(c + 1));
    }
    // Joints on top, each the servo of the module it turns.
    for (int c = 0; c < kChannels; ++c) {
      const ChannelState& ch = model().channel(c);
      const QPointF j = pts[static_cast<std::size_t>(c) + 1];
      const double r = body * 0.2;
      p.setPen(Qt::NoPen);
      p.setBrush(ch.enabled ? kBackground : kOff);
      p.drawEllipse(j, r + 1.5, r + 1.5);
      p.setBrush(ch.enabled ? ChannelColour(c) : kPanel);
      p.drawEllipse(j, r, r);
    }
  }
};

// One row a channel: enabled, last width and angle, positions per second.
class ChannelTable : public View {
 public:
  explicit ChannelTable(ControllerWindow& w) : View(w, "ChannelTable") { setMinimumSize(470, 290); }

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override { Title(p, area, QStringLiteral("Channels")); }

  void Paint(QPainter& p, const QRectF& area) override {
    const std::array<double, 6> x = {0, 112, 178, 262, 346, 440};
    const double rowH = 23;
    double y = area.top() + 26;
    p.setFont(Font(12, true));
    p.setPen(kDim);
    const std::array<QString, 5> heads = {QStringLiteral("Channel"), QStringLiteral("State"),
                                          QStringLiteral("Width"), QStringLiteral("Angle"),
                                          QStringLiteral("Positions/s")};
    for (std::size_t i = 0; i < heads.size(); ++i) {
      const Qt::Alignment align = i >= 2 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
      p.drawText(QRectF(area.left() + x[i], y, x[i + 1] - x[i] - 12, rowH), align, heads[i]);
    }
    y += rowH;
    p.setPen(QPen(kGrid, 1));
    p.drawLine(QPointF(area.left(), y), QPointF(area.left() + x[5], y));
    y += 3;
    const std::int64_t t = now();
    auto cell = [&](int col, const QString& text, const QColor& colour, bool right = true) {
      p.setPen(colour);
      p.drawText(QRectF(area.left() + x[static_cast<std::size_t>(col)], y,
                        x[static_cast<std::size_t>(col) + 1] - x[static_cast<std::size_t>(col)] - 12, rowH),
                 (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
    };
    auto stateCell = [&](bool on) {
      const QRectF pill(area.left() + x[1], y + 4, 48, rowH - 8);
      p.setPen(Qt::NoPen);
      p.setBrush(on ? kGood.darker(260) : QColor(0x33, 0x39, 0x41));
      p.drawRoundedRect(pill, 7, 7);
      p.setFont(Font(11, true));
      p.setPen(on ? kGood : kDim);
      p.drawText(pill, Qt::AlignCenter, on ? QStringLiteral("ON") : QStringLiteral("off"));
    };
    for (int c = 0; c < kChannels; ++c) {
      const ChannelState& ch = model().channel(c);
      p.setPen(Qt::NoPen);
      p.setBrush(ChannelColour(c));
      p.drawRoundedRect(QRectF(area.left(), y + 6, 10, rowH - 12), 2, 2);
      p.setFont(Font(13, true));
      cell(0, QStringLiteral("   %1  (M%2)").arg(c).arg(c + 1), kText, false);
      stateCell(ch.enabled);
      p.setFont(Font(13, false, true));
      const QColor value = ch.enabled ? kText : kDim;
      if (ch.hasPosition) {
        cell(2, QStringLiteral("%1 \u00b5s").arg(ch.pulseWidth), value);
        cell(3, Degrees(ch.angle), value);
      } else {
        cell(2, QStringLiteral("\u2014"), kDim);
        cell(3, QStringLiteral("\u2014"), kDim);
      }
      cell(4, QString::number(ch.rate.PerSecond(t), 'f', 0), value);
      y += rowH;
    }
    p.setPen(QPen(kGrid, 1));
    p.drawLine(QPointF(area.left(), y + 1), QPointF(area.left() + x[5], y + 1));
    y += 4;
    p.setFont(Font(13, true));
    cell(0, QStringLiteral("   13  (ninth)"), kText, false);
    stateCell(model().ninthEnabled());
    p.setFont(Font(12));
    p.setPen(kDim);
    p.drawText(QRectF(area.left() + x[2] + 10, y, x[5] - x[2] - 10, rowH), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("enabled and disabled only, no positions"));
  }
};

// The controller-wide command, the line's load and what could not be read.
class LineView : public View {
 public:
  explicit LineView(ControllerWindow& w) : View(w, "LineView") { setMinimumSize(430, 290); }

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override {
    Title(p, area, QStringLiteral("Controller and line"));
  }

  void Paint(QPainter& p, const QRectF& area) override {
    const ControllerModel& m = model();
    const std::int64_t t = now();
    double y = area.top() + 30;
    const double w = area.width();
    auto label = [&](const QString& text) {
      p.setFont(Font(12));
      p.setPen(kDim);
      p.drawText(QRectF(area.left(), y, 130, 22), Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    auto value = [&](const QString& text, const QColor& colour = kText, int size = 14, bool bold = true) {
      p.setFont(Font(size, bold));
      p.setPen(colour);
      p.drawText(QRectF(area.left() + 130, y, w - 130, 22), Qt::AlignLeft | Qt::AlignVCenter, text);
    };

    label(QStringLiteral("Controller-wide"));
    if (const auto last = m.lastControllerCommand()) {
      const QString when = window_.controller().wallTime(m.lastControllerMs()).toString(QStringLiteral("HH:mm:ss.zzz"));
      // The age only while it is short: it stops being redrawn once all is still.
      const double ago = static_cast<double>(t - m.lastControllerMs()) / 1000.0;
      value(ago < 10 ? QStringLiteral("%1   at %2  (%3 s ago)").arg(ControllerCommandName(*last), when).arg(ago, 0, 'f', 1)
                     : QStringLiteral("%1   at %2").arg(ControllerCommandName(*last), when));
    } else {
      value(QStringLiteral("none yet"), kDim, 13, false);
    }
    y += 22;
    label(QString());
    value(QStringLiteral("SO %1   SC %2   SF %3")
              .arg(m.count(CommandKind::AllOn))
              .arg(m.count(CommandKind::AllConfirm))
              .arg(m.count(CommandKind::AllOff)),
          kDim, 12, false);
    y += 30;

    const double bps = m.bytesPerSecond(t);
    label(QStringLiteral("Line"));
    value(QStringLiteral("%1 of %2 bytes/s").arg(bps, 0, 'f', 0).arg(kLineBytesPerSecond, 0, 'f', 0));
    y += 24;
    {
      const QRectF bar(area.left() + 130, y, std::max(60.0, w - 140), 9);
      const double share = std::clamp(bps / kLineBytesPerSecond, 0.0, 1.0);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x33, 0x39, 0x41));
      p.drawRoundedRect(bar, 4, 4);
      p.setBrush(bps > kLineBytesPerSecond * 1.02 ? kWarn : kGood);
      p.drawRoundedRect(QRectF(bar.left(), bar.top(), bar.width() * share, bar.height()), 4, 4);
    }
    y += 16;
    label(QStringLiteral("Commands"));
    value(QStringLiteral("%1 /s").arg(m.commandsPerSecond(t), 0, 'f', 0));
    p.setFont(Font(12));
    p.setPen(kDim);
    p.drawText(QRectF(area.left() + 230, y, w - 230, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1 in all, %2 bytes").arg(m.commands()).arg(m.bytes()));
    y += 24;
    label(QStringLiteral("Malformed"));
    value(QString::number(m.malformed()), m.malformed() ? kWarn : kText);
    y += 24;
    p.setFont(Font(11, false, true));
    const auto& recent = m.recentMalformed();
    if (recent.empty()) {
      p.setPen(kDim);
      p.drawText(QRectF(area.left() + 130, y, w - 130, 18), Qt::AlignLeft | Qt::AlignVCenter,
                 QStringLiteral("none"));
    }
    for (auto it = recent.rbegin(); it != recent.rend() && y < area.bottom() - 30; ++it) {
      p.setPen(kWarn);
      p.drawText(QRectF(area.left(), y, w, 16), Qt::AlignLeft | Qt::AlignVCenter,
                 QStringLiteral("%1  %2")
                     .arg(window_.controller().wallTime(it->ms).toString(QStringLiteral("HH:mm:ss")),
                          QString::fromLatin1(FaultText(it->command.fault))));
      y += 15;
      p.setPen(kText);
      p.drawText(QRectF(area.left() + 14, y, w - 14, 16), Qt::AlignLeft | Qt::AlignVCenter,
                 p.fontMetrics().elidedText(QString::fromStdString(HexBytes(it->command)), Qt::ElideRight,
                                            static_cast<int>(w - 14)));
      y += 18;
    }
    p.setFont(Font(11));
    p.setPen(kDim);
    p.drawText(QRectF(area.left(), area.bottom() - 16, w, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Device %1   %2 baud, 8 data bits, no parity, 1 stop bit")
                   .arg(window_.controller().devicePath())
                   .arg(line::kBaudRate));
  }
};

// Every channel's angle over the last seconds: the wave and the phase
// between modules.
class AnglePlot : public View {
 public:
  explicit AnglePlot(ControllerWindow& w) : View(w, "AnglePlot") { setMinimumHeight(230); }

 protected:
  static QRectF PlotRect(const QRectF& area) { return area.adjusted(46, 26, -8, -18); }

  // The scale grows past +-90 degrees only when an angle needs it.
  double Range() const {
    const std::int64_t t = now();
    double range = 90;
    for (int c = 0; c < kChannels; ++c) {
      for (const AngleSample& s : model().channel(c).history) {
        if (s.ms >= t - kSpanMs) range = std::max(range, std::abs(s.angle));
      }
    }
    return std::min(std::ceil(range / 45.0) * 45.0, 720.0);
  }

  QString StaticKey() const override {
    int enabled = 0;
    for (int c = 0; c < kChannels; ++c) enabled |= model().channel(c).enabled ? 1 << c : 0;
    return QStringLiteral("%1/%2").arg(range_).arg(enabled);
  }

  void PaintStatic(QPainter& p, const QRectF& area) override {
    Title(p, area, QStringLiteral("Joint angles, last %1 s").arg(ControllerWindow::kPlotSeconds));
    const QRectF plot = PlotRect(area);
    p.setFont(Font(11));
    for (double a = -range_; a <= range_ + 1e-9; a += 45) {
      const double y = plot.center().y() - a / range_ * plot.height() / 2;
      p.setPen(QPen(a == 0 ? kDim : kGrid, 1, a == 0 ? Qt::SolidLine : Qt::DotLine));
      p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
      p.setPen(kDim);
      p.drawText(QRectF(area.left(), y - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
                 QStringLiteral("%1\u00b0").arg(a, 0, 'f', 0));
    }
    for (int s = 0; s <= ControllerWindow::kPlotSeconds; ++s) {
      const double x = plot.right() - plot.width() * s / ControllerWindow::kPlotSeconds;
      p.setPen(QPen(kGrid, 1, Qt::DotLine));
      p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
      p.setPen(kDim);
      p.drawText(QRectF(x - 30, plot.bottom() + 2, 60, 14), Qt::AlignCenter,
                 s == 0 ? QStringLiteral("now") : QStringLiteral("-%1 s").arg(s));
    }
    // Legend: which colour is which channel.
    p.setFont(Font(12, true));
    double x = area.right() - kChannels * 40;
    for (int c = 0; c < kChannels; ++c) {
      p.setPen(Qt::NoPen);
      p.setBrush(ChannelColour(c));
      p.drawRoundedRect(QRectF(x, area.top() + 3, 14, 10), 2, 2);
      p.setPen(model().channel(c).enabled ? kText : kDim);
      p.drawText(QPointF(x + 18, area.top() + 13), QString::number(c));
      x += 40;
    }
  }

  void paintEvent(QPaintEvent* e) override {
    range_ = Range();
    View::paintEvent(e);
  }

  void Paint(QPainter& p, const QRectF& area) override {
    const ControllerModel& m = model();
    const std::int64_t t = now();
    const QRectF plot = PlotRect(area);
    p.setClipRect(plot.adjusted(-2, -2, 2, 2));
    for (int c = kChannels - 1; c >= 0; --c) {
      const ChannelState& ch = m.channel(c);
      line_.clear();
      for (const AngleSample& s : ch.history) {
        if (s.ms < t - kSpanMs - 200) continue;
        line_ << QPointF(plot.right() - plot.width() * static_cast<double>(t - s.ms) / static_cast<double>(kSpanMs),
                         plot.center().y() - s.angle / range_ * plot.height() / 2);
      }
      if (line_.size() < 2) continue;
      QColor colour = ChannelColour(c);
      if (!ch.enabled) colour.setAlpha(110);
      QPen pen(colour, 1.0, ch.enabled ? Qt::SolidLine : Qt::DashLine);
      pen.setCosmetic(true);
      p.setPen(pen);
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(line_);
      if (ch.enabled) {
        // Two hairlines a pixel apart: as bold as a wide pen at a fraction
        // of its cost.
        line_.translate(0, 1);
        p.drawPolyline(line_);
      }
    }
  }

 private:
  static constexpr std::int64_t kSpanMs = ControllerWindow::kPlotSeconds * 1000;
  double range_ = 90;
  QPolygonF line_;
};

}  // namespace

ControllerWindow::ControllerWindow(VirtualController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
  setObjectName(QStringLiteral("ControllerWindow"));
  setWindowTitle(QStringLiteral("Virtual servo controller"));
  // Closing this window alone does not end the program, and it does not keep
  // the program alive once the panel has closed.
  setAttribute(Qt::WA_QuitOnClose, false);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBackground);
  setPalette(pal);

  chain_ = new ChainView(*this);
  table_ = new ChannelTable(*this);
  line_ = new LineView(*this);
  plot_ = new AnglePlot(*this);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setSpacing(0);
  grid->addWidget(chain_, 0, 0, 1, 2);
  grid->addWidget(table_, 1, 0);
  grid->addWidget(line_, 1, 1);
  grid->addWidget(plot_, 2, 0, 1, 2);
  grid->setRowStretch(0, 3);
  grid->setRowStretch(2, 2);
  resize(980, 820);

  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &ControllerWindow::drawFrame);
  connect(&controller_, &VirtualController::received, this, [this] {
    lastDataMs_ = controller_.nowMs();
    scheduleFrame();
  });
  // With nothing arriving, rates and ages still change and the plot still
  // scrolls: a few frames a second, and none once all is still.
  idleTimer_.setInterval(kTextIntervalMs);
  connect(&idleTimer_, &QTimer::timeout, this, [this] {
    if (frameTimer_.isActive() || controller_.nowMs() - lastFrameMs_ < kTextIntervalMs) return;
    if (controller_.nowMs() - lastDataMs_ < 12000) drawFrame();
  });
  idleTimer_.start();
}

ControllerWindow::~ControllerWindow() = default;

void ControllerWindow::scheduleFrame() {
  if (frameTimer_.isActive()) return;
  const std::int64_t frameMs = (1000 + kMaxFramesPerSecond - 1) / kMaxFramesPerSecond;
  const std::int64_t wait = std::max<std::int64_t>(0, lastFrameMs_ + frameMs - controller_.nowMs());
  frameTimer_.start(static_cast<int>(wait));
}

void ControllerWindow::drawFrame() {
  const std::int64_t now = controller_.nowMs();
  lastFrameMs_ = now;
  if (!isVisible()) return;
  ++frames_;
  // The chain and the plot move with every frame; numbers are read, not
  // watched, and a few updates a second are easier on the eye and the CPU.
  chain_->update();
  plot_->update();
  if (now - lastTextMs_ >= kTextIntervalMs) {
    lastTextMs_ = now;
    table_->update();
    line_->update();
  }
}

void ControllerWindow::refresh() {
  chain_->repaint();
  table_->repaint();
  line_->repaint();
  plot_->repaint();
}

}  // namespace gp::sim
