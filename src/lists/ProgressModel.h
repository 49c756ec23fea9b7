#pragma once
// The merge progress bar as plain data: Value out of Max, minimum 0.

#include <functional>

namespace quillory::lists {

class ProgressModel {
public:
    double max() const { return max_; }
    double value() const { return value_; }
    void setMax(double max) {
        max_ = max;
        changed();
    }
    void setValue(double value) {
        value_ = value;
        changed();
    }
    // Called after every change; the view repaints the bar (and may pump events) here.
    std::function<void()> onChanged;

private:
    void changed() {
        if (onChanged) {
            onChanged();
        }
    }
    double max_ = 100;
    double value_ = 0;
};

} // namespace quillory::lists
