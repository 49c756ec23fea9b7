#pragma once
// Sets (or, with a null value, removes) an environment variable for the lifetime of the object,
// then puts back what was there.

#include <cstdlib>
#include <optional>
#include <string>

namespace quillory::testing {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value) const {
        value != nullptr ? ::setenv(name_.c_str(), value, 1) : ::unsetenv(name_.c_str());
    }

    std::string name_;
    std::optional<std::string> old_;
};

} // namespace quillory::testing
