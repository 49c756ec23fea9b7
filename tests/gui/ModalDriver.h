#pragma once
// Drives a modal dialog from inside its own event loop: every few milliseconds looks for the
// active modal widget of type T and hands it to `step`, until `step` says it is done. A test
// that never sees its dialog gives up (and says so) instead of hanging.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace quillory::testing {

template <typename T> class ModalDriver {
public:
    // `step` returns true when it has finished with the dialog (accepted or rejected it).
    explicit ModalDriver(std::function<bool(T*)> step) : step_(std::move(step)) {
        timer_.setInterval(kTickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start();
    }
    bool found() const { return found_; }
    bool finished() const { return finished_; }

private:
    static constexpr int kTickMs = 10;
    static constexpr int kMaxTicks = 1000;

    void tick() {
        if (++ticks_ > kMaxTicks) {
            timer_.stop();
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close(); // leave the dialog's loop so the test can report the failure
            }
            return;
        }
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        found_ = true;
        if (step_(dialog)) {
            finished_ = true;
            timer_.stop();
        }
    }

    std::function<bool(T*)> step_;
    QTimer timer_;
    int ticks_ = 0;
    bool found_ = false;
    bool finished_ = false;
};

} // namespace quillory::testing
