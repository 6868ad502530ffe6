#pragma once
// String lists that enumerations append to; a GUI list adapts itself to TStrings.
#include "rtl/Text.h"

#include <string>
#include <vector>

namespace rtl {

/// A list of strings that enumerations append to.
class TStrings {
  public:
    /// Destroys the list.
    virtual ~TStrings() = default;
    /// Appends s (a sorted or duplicate-refusing list decides for itself); returns its index.
    virtual int Add(const string& s) = 0;
    /// The number of strings.
    virtual int Count() const = 0;
    /// The string at index.
    virtual string Get(int index) const = 0;
    /// Removes every string.
    virtual void Clear() = 0;
};

/// A plain list of strings, in the order added.
class TStringList : public TStrings {
  public:
    /// Appends s; returns its index.
    int Add(const string& s) override {
        items_.push_back(s);
        return static_cast<int>(items_.size()) - 1;
    }
    /// The number of strings.
    int Count() const override { return static_cast<int>(items_.size()); }
    /// The string at index; raises std::out_of_range outside the list.
    string Get(int index) const override { return items_.at(index); }
    /// Removes every string.
    void Clear() override { items_.clear(); }
    /// The strings.
    const std::vector<string>& Items() const { return items_; }

  private:
    std::vector<string> items_;
};

} // namespace rtl
