#pragma once
// An environment variable set or cleared for a scope, then put back as it was.
#include <cstdlib>
#include <optional>
#include <string>

namespace quillon_test {

class TScopedEnv {
  public:
    /// A null value clears the variable.
    TScopedEnv(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    TScopedEnv(const char* name, const std::string& value) : TScopedEnv(name, value.c_str()) {}
    ~TScopedEnv() {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

  private:
    std::string FName;
    std::optional<std::string> FOld;
};

} // namespace quillon_test
