#pragma once

// The decimal-comma locale that the locale tests run under (scripts/install-deps generates it),
// and a guard that puts the whole process into a locale for one scope, as a host does.

#include <clocale>
#include <string>

constexpr const char kDecimalCommaLocale[] = "de_DE.UTF-8";
constexpr const char kMissingLocaleHint[] = "the locale is not installed: scripts/install-deps generates it";

class ScopedLocale {
  public:
    explicit ScopedLocale(const char* name) {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        saved_ = previous ? previous : "C";
        active_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};
