#include "widgets/qt_invoker.h"

#include <QMetaObject>
#include <QThread>

namespace vorn::ui {

QtGuiInvoker::QtGuiInvoker()
    : vorn::PostingInvoker(
          [this] {
            QMetaObject::invokeMethod(&receiver_, [this] { RunPending(); }, Qt::QueuedConnection);
          },
          [this] { return QThread::currentThread() == receiver_.thread(); }) {}

QtGuiInvoker::~QtGuiInvoker() { Shutdown(); }

}  // namespace vorn::ui
