#include "link/port_watch.h"

#include <sys/stat.h>

namespace gp {

PortWatch::PortWatch(QObject* parent) : QObject(parent) {
  timer_.setInterval(kIntervalMs);
  // Coarse: the wake-ups may be bunched with others', which is what a
  // background watch should do.
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { look(); });
}

void PortWatch::watch(const QByteArray& device) {
  device_ = device;
  timer_.start();
}

void PortWatch::stop() { timer_.stop(); }

void PortWatch::look() {
  struct stat st {};
  if (::stat(device_.constData(), &st) == 0 && S_ISCHR(st.st_mode)) emit present();
}

}  // namespace gp
