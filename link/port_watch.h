#pragma once
// Watches for a lost serial device to come back under the same name (its
// stable name or its path). Twice a second it asks the file system whether
// the name leads to a device again: one stat() call, nothing noticeable on
// any machine. So a device that comes back is seen within half a second
// (bench/link/watch_bench measures it); reopening it is left to whoever
// listens.

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace gp {

class PortWatch : public QObject {
  Q_OBJECT
 public:
  static constexpr int kIntervalMs = 500;

  explicit PortWatch(QObject* parent = nullptr);

  void watch(const QByteArray& device);
  void stop();
  bool watching() const { return timer_.isActive(); }

 signals:
  // The name leads to a device again; emitted on every look while it does
  // (a device that reappears before its permissions are set is tried again).
  void present();

 private:
  void look();

  QByteArray device_;
  QTimer timer_;
};

}  // namespace gp
