#pragma once
// String lists that enumerations append to; a GUI list adapts itself to TStrings.
#include <string>
#include <vector>

#include "rtl/Text.h"

namespace rtl {

class TStrings {
public:
    virtual ~TStrings() = default;
    /// Appends s (a sorted or duplicate-refusing list decides for itself); returns its index.
    virtual int Add(const string& s) = 0;
    virtual int Count() const = 0;
    virtual string Get(int index) const = 0;
    virtual void Clear() = 0;
};

class TStringList : public TStrings {
public:
    int Add(const string& s) override {
        items_.push_back(s);
        return static_cast<int>(items_.size()) - 1;
    }
    int Count() const override { return static_cast<int>(items_.size()); }
    string Get(int index) const override { return items_.at(index); }
    void Clear() override { items_.clear(); }
    const std::vector<string>& Items() const { return items_; }

private:
    std::vector<string> items_;
};

} // namespace rtl
