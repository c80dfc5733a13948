// Answers the locate routine's question "is an Esc key press waiting?" during a long walk
// over a grid's rows (GUI thread only; nothing throws).
//
// Qt offers no look into the window system's queue without delivering it, so while a walk
// runs the watch lets the event loop deliver what is waiting (at most every 50 ms, timers
// excluded) and keeps every input event from its receiver until the watch ends; then each
// goes to its receiver in arrival order, the Esc too (which then ends an incremental
// search as it would have). So a walk is never re-entered by a key or a click, and nothing
// typed during it is lost.
#pragma once

#include <QObject>
#include <QPointer>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QEvent;

namespace enviozvr::ui {

class EscapeWatch : public QObject {
  public:
    static constexpr int kIntervalMs = 50;
    // Milliseconds from any fixed start.
    using Clock = std::function<qint64()>;

    // `clock` measures the interval between looks: a monotonic clock unless given (tests
    // drive their own).
    explicit EscapeWatch(Clock clock = {});
    // Hands the held input events back to their receivers (posted, in arrival order).
    ~EscapeWatch() override;

    // True once an Esc key press arrived; looks at most every kIntervalMs (the first
    // question looks at once).
    bool escapeWaiting();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    Clock clock_;
    std::optional<qint64> lastLook_;
    bool escaped_ = false;
    std::vector<Held> held_;
};

}  // namespace enviozvr::ui
