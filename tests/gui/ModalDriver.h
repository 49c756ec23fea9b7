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
    bool finished() const { return finished_; }

private:
    static constexpr int kTickMs = 10;
    static constexpr int kMaxTicks = 1000;
    static constexpr int kRetryTicks = 50;

    void tick() {
        T* dialog = findDialog();
        if (++ticks_ > kMaxTicks) {
            // Give up: leave the dialog's loop so the test can report the failure.
            if (dialog != nullptr) {
                dialog->reject();
            } else {
                timer_.stop();
            }
            return;
        }
        if (dialog == nullptr) {
            return;
        }
        if (finished_ && ++ticksSinceStep_ < kRetryTicks) {
            return; // the step is done; give the dialog's own loop time to end
        }
        // A dialog still open well after its step (a file dialog that was still reading the
        // folder and took the choice as a change of folder) gets the step once more.
        finished_ = step_(dialog);
        ticksSinceStep_ = 0;
    }

    // The modal dialog of type T, also when the platform reports no active modal widget.
    static T* findDialog() {
        if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            return dialog;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (T* dialog = qobject_cast<T*>(widget); dialog != nullptr && dialog->isVisible()) {
                return dialog;
            }
        }
        return nullptr;
    }

    std::function<bool(T*)> step_;
    QTimer timer_;
    int ticks_ = 0;
    bool finished_ = false;
    int ticksSinceStep_ = 0;
};

} // namespace quillory::testing
