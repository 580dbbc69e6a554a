// Draws the welcome window's three pictures and the program's icon.
//
// Run at build time: draw_pictures <output directory>. Writes
//   snake.png        342 x 257, 24-bit: the module chain laid out as a snake (top view)
//   caterpillar.png  335 x 252, 24-bit: the same chain arched as a caterpillar (side view)
//   module.png       911 x 868, 256 colours: one joint module close up
//   gaitpanel-<n>.png the icon at 256, 128, 64 and 48 pixels
//
// Nothing here draws text, so no font or display is needed.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QVector>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/conversions.h"

namespace {

using gp::kPi;

// The robot's colours: anodised aluminium brackets, black servo cases with a
// blue band, white servo horns.
const QColor kMetalLight(222, 227, 233);
const QColor kMetalDark(138, 148, 160);
const QColor kOutline(52, 58, 66);
const QColor kServo(33, 37, 43);
const QColor kServoEdge(70, 76, 84);
const QColor kBand(34, 98, 178);
const QColor kHorn(245, 245, 240);
const QColor kScrew(95, 100, 108);
const QColor kEye(220, 36, 30);
const QColor kCable(196, 60, 44);

// A point and the direction of the chain there.
struct Pose {
  QPointF at;
  double angle;  // degrees, as QPainter::rotate takes them
};

// Places `count` modules of `length` along a curve, end to end, by arc length.
std::vector<Pose> PlaceAlong(const std::function<QPointF(double)>& curve, int count, double length) {
  std::vector<QPointF> samples;
  for (int i = 0; i <= 4000; ++i) samples.push_back(curve(i / 4000.0));
  std::vector<double> arc(samples.size(), 0.0);
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const QPointF d = samples[i] - samples[i - 1];
    arc[i] = arc[i - 1] + std::hypot(d.x(), d.y());
  }
  auto pointAt = [&](double s) {
    const auto it = std::lower_bound(arc.begin(), arc.end(), s);
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(it - arc.begin()), samples.size() - 1);
    return samples[i];
  };
  const double total = length * count;
  const double start = std::max(0.0, (arc.back() - total) / 2);
  std::vector<Pose> poses;
  for (int m = 0; m < count; ++m) {
    const QPointF a = pointAt(start + m * length);
    const QPointF b = pointAt(start + (m + 1) * length);
    const QPointF mid = (a + b) / 2;
    poses.push_back({mid, std::atan2(b.y() - a.y(), b.x() - a.x()) * 180 / kPi});
  }
  return poses;
}

void Screw(QPainter& p, QPointF c, double r) {
  p.setPen(QPen(kOutline, std::max(0.6, r * 0.25)));
  QRadialGradient g(c - QPointF(r * 0.3, r * 0.3), r * 1.4);
  g.setColorAt(0, QColor(200, 204, 210));
  g.setColorAt(1, kScrew);
  p.setBrush(g);
  p.drawEllipse(c, r, r);
  p.drawLine(c + QPointF(-r * 0.6, 0), c + QPointF(r * 0.6, 0));
}

// One servo horn: a disc with four arms, seen from above or from the side.
void Horn(QPainter& p, QPointF c, double r, double turn) {
  p.save();
  p.translate(c);
  p.rotate(turn);
  p.setPen(QPen(kOutline, std::max(0.7, r * 0.08)));
  p.setBrush(kHorn);
  QPainterPath arms;
  arms.addRoundedRect(QRectF(-r * 1.45, -r * 0.32, r * 2.9, r * 0.64), r * 0.3, r * 0.3);
  arms.addRoundedRect(QRectF(-r * 0.32, -r * 1.45, r * 0.64, r * 2.9), r * 0.3, r * 0.3);
  arms.setFillRule(Qt::WindingFill);
  p.drawPath(arms.simplified());
  p.drawEllipse(QPointF(0, 0), r * 0.8, r * 0.8);
  Screw(p, QPointF(0, 0), r * 0.3);
  p.restore();
}

// One joint module, centred at the origin, pointing along +x, `len` long and
// `wid` across: the U-bracket, the servo in it and the horn at the joint.
void Module(QPainter& p, double len, double wid, bool head, bool tail) {
  const double r = wid * 0.16;
  // Bracket.
  QLinearGradient metal(0, -wid / 2, 0, wid / 2);
  metal.setColorAt(0, kMetalLight);
  metal.setColorAt(0.55, kMetalDark.lighter(120));
  metal.setColorAt(1, kMetalDark);
  p.setPen(QPen(kOutline, std::max(0.8, wid * 0.035)));
  p.setBrush(metal);
  QPainterPath bracket;
  if (head) {
    bracket.moveTo(-len / 2, -wid / 2);
    bracket.lineTo(len * 0.15, -wid / 2);
    bracket.cubicTo(len * 0.55, -wid / 2, len * 0.62, -wid * 0.2, len * 0.62, 0);
    bracket.cubicTo(len * 0.62, wid * 0.2, len * 0.55, wid / 2, len * 0.15, wid / 2);
    bracket.lineTo(-len / 2, wid / 2);
    bracket.closeSubpath();
  } else {
    bracket.addRoundedRect(QRectF(-len / 2, -wid / 2, len, wid), r, r);
  }
  p.drawPath(bracket);
  // Servo case with its coloured band.
  const QRectF servo(-len * 0.36, -wid * 0.32, len * 0.62, wid * 0.64);
  QLinearGradient cas(0, servo.top(), 0, servo.bottom());
  cas.setColorAt(0, kServoEdge);
  cas.setColorAt(0.4, kServo);
  cas.setColorAt(1, kServo.darker(130));
  p.setPen(QPen(QColor(15, 17, 20), std::max(0.6, wid * 0.02)));
  p.setBrush(cas);
  p.drawRoundedRect(servo, r * 0.5, r * 0.5);
  p.setPen(Qt::NoPen);
  p.setBrush(kBand);
  p.drawRect(QRectF(servo.left() + servo.width() * 0.56, servo.top(), servo.width() * 0.14, servo.height()));
  // Four screws hold the servo in its bracket.
  const double sr = wid * 0.055;
  for (double sx : {servo.left() - sr * 1.6, servo.right() + sr * 1.6})
    for (double sy : {-wid * 0.36, wid * 0.36}) Screw(p, QPointF(sx, sy), sr);
  if (head) {
    // Two status lamps make the front end read as a head.
    for (double sy : {-wid * 0.2, wid * 0.2}) {
      QRadialGradient lamp(QPointF(len * 0.44, sy), wid * 0.09);
      lamp.setColorAt(0, QColor(255, 190, 170));
      lamp.setColorAt(1, kEye);
      p.setPen(QPen(QColor(90, 10, 8), std::max(0.5, wid * 0.015)));
      p.setBrush(lamp);
      p.drawEllipse(QPointF(len * 0.44, sy), wid * 0.08, wid * 0.08);
    }
  } else {
    Horn(p, QPointF(len / 2, 0), wid * 0.2, 20);
  }
  if (tail) {
    // The supply and signal cable leaves from the last module.
    p.setPen(QPen(kCable, std::max(1.0, wid * 0.09), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable(QPointF(-len / 2, 0));
    cable.cubicTo(QPointF(-len * 0.9, 0), QPointF(-len * 1.0, wid * 0.5), QPointF(-len * 1.35, wid * 0.45));
    p.drawPath(cable);
  }
}

// The chain: modules from tail (first pose) to head (last pose).
void Chain(QPainter& p, const std::vector<Pose>& poses, double len, double wid, QPointF shadowOffset,
           double shadowBlur) {
  // A soft shadow first, in a few widening passes.
  p.setPen(Qt::NoPen);
  for (int pass = 3; pass >= 1; --pass) {
    p.setBrush(QColor(0, 0, 0, 28));
    for (const Pose& pose : poses) {
      p.save();
      p.translate(pose.at + shadowOffset);
      p.rotate(pose.angle);
      const double grow = shadowBlur * pass;
      p.drawRoundedRect(QRectF(-len / 2 - grow, -wid / 2 - grow, len + 2 * grow, wid + 2 * grow), wid * 0.3,
                        wid * 0.3);
      p.restore();
    }
  }
  // Head first, so that each module's horn lies over the next one's bracket.
  for (std::size_t i = poses.size(); i-- > 0;) {
    p.save();
    p.translate(poses[i].at);
    p.rotate(poses[i].angle);
    Module(p, len, wid, i + 1 == poses.size(), i == 0);
    p.restore();
  }
}

// 342 x 257: the chain seen from above, slithering across a lab floor.
QImage Snake() {
  QImage img(342, 257, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient floor(0, 0, 342, 257);
  floor.setColorAt(0, QColor(236, 226, 204));
  floor.setColorAt(1, QColor(205, 190, 160));
  p.fillRect(img.rect(), floor);
  // Floor tiles.
  p.setPen(QPen(QColor(180, 164, 134, 120), 1));
  for (int x = 0; x < 342; x += 38) p.drawLine(x, 0, x, 257);
  for (int y = 0; y < 257; y += 38) p.drawLine(0, y, 342, y);
  // The track the wave leaves behind.
  const auto curve = [](double t) {
    const double x = 20 + t * 302;
    return QPointF(x, 128 + 58 * std::sin(2 * kPi * (t * 1.25) - 0.6));
  };
  p.setPen(QPen(QColor(150, 130, 100, 90), 14, Qt::SolidLine, Qt::RoundCap));
  QPainterPath track;
  track.moveTo(curve(0));
  for (int i = 1; i <= 200; ++i) track.lineTo(curve(i / 200.0));
  p.drawPath(track);
  Chain(p, PlaceAlong(curve, 8, 40), 40, 27, QPointF(4, 5), 1.2);
  // A soft vignette holds the eye on the robot.
  QRadialGradient vig(QPointF(171, 128), 230);
  vig.setColorAt(0.6, QColor(0, 0, 0, 0));
  vig.setColorAt(1, QColor(0, 0, 0, 70));
  p.fillRect(img.rect(), vig);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

// 335 x 252: the same chain seen from the side, its middle arched up like a
// caterpillar's back.
QImage Caterpillar() {
  QImage img(335, 252, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double ground = 196;
  QLinearGradient wall(0, 0, 0, ground);
  wall.setColorAt(0, QColor(190, 214, 236));
  wall.setColorAt(1, QColor(236, 242, 248));
  p.fillRect(QRectF(0, 0, 335, ground), wall);
  QLinearGradient table(0, ground, 0, 252);
  table.setColorAt(0, QColor(176, 132, 88));
  table.setColorAt(1, QColor(120, 84, 52));
  p.fillRect(QRectF(0, ground, 335, 252 - ground), table);
  p.setPen(QPen(QColor(90, 60, 36), 1.5));
  p.drawLine(QPointF(0, ground), QPointF(335, ground));
  // Wood grain.
  p.setPen(QPen(QColor(96, 66, 40, 80), 1));
  for (int i = 0; i < 6; ++i) {
    QPainterPath grain(QPointF(0, ground + 8 + i * 8));
    grain.cubicTo(QPointF(110, ground + 4 + i * 8), QPointF(220, ground + 13 + i * 8),
                  QPointF(335, ground + 7 + i * 8));
    p.drawPath(grain);
  }
  const double wid = 26;
  const double rest = ground - wid / 2 - 1;
  // Flat at both ends, a smooth arch in the middle.
  const auto curve = [rest](double t) {
    const double x = 12 + t * 311;
    double y = rest;
    if (x > 70 && x < 266) {
      const double u = (x - 70) / 196;
      y = rest - 92 * std::pow(std::sin(kPi * u), 2);
    }
    return QPointF(x, y);
  };
  const auto poses = PlaceAlong(curve, 8, 38);
  // Contact shadows where the chain rests on the table.
  p.setPen(Qt::NoPen);
  for (const Pose& pose : poses) {
    const double lift = rest - pose.at.y();
    const double alpha = std::max(0.0, 90 - lift * 0.8);
    p.setBrush(QColor(40, 24, 10, static_cast<int>(alpha)));
    p.drawEllipse(QPointF(pose.at.x(), ground + 3), 22, 4.5);
  }
  Chain(p, poses, 38, wid, QPointF(0, 0), 0);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

// Median cut: the 256 colours that best cover the picture.
QVector<QRgb> Palette256(const QImage& img) {
  struct Box {
    std::vector<QRgb> px;
  };
  std::vector<QRgb> all;
  all.reserve(static_cast<std::size_t>(img.width()) * static_cast<std::size_t>(img.height()));
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) all.push_back(img.pixel(x, y) | 0xff000000u);
  std::vector<Box> boxes{{std::move(all)}};
  auto channel = [](QRgb c, int ch) { return ch == 0 ? qRed(c) : ch == 1 ? qGreen(c) : qBlue(c); };
  while (boxes.size() < 256) {
    // Split the box with the widest channel range (weighted by its size).
    std::size_t best = 0;
    int bestCh = 0;
    double bestScore = -1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].px.size() < 2) continue;
      for (int ch = 0; ch < 3; ++ch) {
        int lo = 255, hi = 0;
        for (QRgb c : boxes[i].px) {
          lo = std::min(lo, channel(c, ch));
          hi = std::max(hi, channel(c, ch));
        }
        const double score = (hi - lo) * std::sqrt(static_cast<double>(boxes[i].px.size()));
        if (score > bestScore) {
          bestScore = score;
          best = i;
          bestCh = ch;
        }
      }
    }
    if (bestScore <= 0) break;
    auto& px = boxes[best].px;
    const auto mid = px.begin() + static_cast<std::ptrdiff_t>(px.size() / 2);
    std::nth_element(px.begin(), mid, px.end(),
                     [&](QRgb a, QRgb b) { return channel(a, bestCh) < channel(b, bestCh); });
    Box upper{std::vector<QRgb>(mid, px.end())};
    px.erase(mid, px.end());
    boxes.push_back(std::move(upper));
  }
  QVector<QRgb> table;
  for (const Box& b : boxes) {
    if (b.px.empty()) continue;
    double r = 0, g = 0, bl = 0;
    for (QRgb c : b.px) {
      r += qRed(c);
      g += qGreen(c);
      bl += qBlue(c);
    }
    const double n = static_cast<double>(b.px.size());
    table.push_back(qRgb(static_cast<int>(r / n + 0.5), static_cast<int>(g / n + 0.5),
                         static_cast<int>(bl / n + 0.5)));
  }
  return table;
}

// 911 x 868, 256 colours: one joint module close up, with the neighbours it
// joins cut off at the edges. The window shows it squeezed into a 313 x 257
// box, which widens it by about 16% against its height, so it is drawn that
// much narrower here and looks true on screen.
QImage ModuleCloseUp() {
  const int w = 911, h = 868;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient bg(QPointF(w * 0.45, h * 0.4), w * 0.8);
  bg.setColorAt(0, QColor(236, 240, 246));
  bg.setColorAt(1, QColor(150, 166, 186));
  p.fillRect(img.rect(), bg);
  const double squeeze = (313.0 / 911.0) / (257.0 / 868.0);
  p.translate(w / 2.0, h / 2.0);
  p.scale(1 / squeeze, 1);
  // Workbench grid, for scale.
  p.setPen(QPen(QColor(120, 136, 156, 70), 2));
  for (int gx = -700; gx <= 700; gx += 70) p.drawLine(gx, -h / 2, gx, h / 2);
  for (int gy = -420; gy <= 420; gy += 70) p.drawLine(-700, gy, 700, gy);
  const double len = 560, wid = 380;
  p.rotate(-14);
  // Neighbours on either side, cut off by the frame.
  for (double dx : {-len, len}) {
    p.save();
    p.translate(dx, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(-len / 2 + 18, -wid / 2 + 26, len, wid), 60, 60);
    Module(p, len, wid, false, false);
    p.restore();
  }
  p.setPen(Qt::NoPen);
  for (int pass = 4; pass >= 1; --pass) {
    p.setBrush(QColor(0, 0, 0, 22));
    const double g = pass * 7.0;
    p.drawRoundedRect(QRectF(-len / 2 + 18 - g, -wid / 2 + 26 - g, len + 2 * g, wid + 2 * g), 60, 60);
  }
  Module(p, len, wid, false, false);
  // The servo's lead, out of the case and along the bracket.
  p.setPen(QPen(QColor(30, 30, 30), 14, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QPainterPath lead(QPointF(-len * 0.36, -wid * 0.05));
  lead.cubicTo(QPointF(-len * 0.5, -wid * 0.05), QPointF(-len * 0.46, -wid * 0.46), QPointF(-len * 0.3, -wid * 0.47));
  p.drawPath(lead);
  p.setPen(QPen(kCable, 6, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(lead);
  p.setPen(QPen(QColor(24, 24, 24), 2));
  p.setBrush(QColor(40, 40, 44));
  p.drawRoundedRect(QRectF(-len * 0.32, -wid * 0.53, len * 0.12, wid * 0.1), 6, 6);
  p.end();
  const QImage rgb = img.convertToFormat(QImage::Format_RGB32);
  return rgb.convertToFormat(QImage::Format_Indexed8, Palette256(rgb), Qt::ThresholdDither);
}

// The program's icon: three modules in an arch on a round blue badge.
QImage Icon(int size) {
  const int big = 256;
  QImage img(big, big, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient badge(QPointF(110, 90), 170);
  badge.setColorAt(0, QColor(84, 150, 222));
  badge.setColorAt(1, QColor(22, 70, 140));
  p.setPen(QPen(QColor(14, 44, 92), 6));
  p.setBrush(badge);
  p.drawEllipse(QRectF(8, 8, 240, 240));
  const auto curve = [](double t) {
    return QPointF(34 + t * 188, 176 - 92 * std::sin(kPi * t));
  };
  Chain(p, PlaceAlong(curve, 4, 62), 62, 44, QPointF(4, 6), 1.5);
  p.end();
  return size == big ? img : img.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool Save(const QImage& img, const QString& path) {
  QImageWriter writer(path, "png");
  writer.setQuality(0);  // for PNG: the smallest file; the pixels are the same
  if (!writer.write(img)) {
    std::fprintf(stderr, "draw_pictures: cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_pictures <output directory>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "draw_pictures: cannot create %s\n", argv[1]);
    return 1;
  }
  bool ok = Save(Snake(), out.filePath(QStringLiteral("snake.png")));
  ok = Save(Caterpillar(), out.filePath(QStringLiteral("caterpillar.png"))) && ok;
  ok = Save(ModuleCloseUp(), out.filePath(QStringLiteral("module.png"))) && ok;
  for (int size : {256, 128, 64, 48})
    ok = Save(Icon(size), out.filePath(QStringLiteral("gaitpanel-%1.png").arg(size))) && ok;
  return ok ? 0 : 1;
}
