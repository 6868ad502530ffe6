#pragma once
// A combo box's items as the runtime's string list, for the port's enumerations.
#include "app/CodePage.h"
#include "rtl/Strings.h"

#include <QComboBox>

namespace quillon::console {

class TComboStrings : public rtl::TStrings {
  public:
    explicit TComboStrings(QComboBox* combo) : FCombo(combo) {}
    int Add(const rtl::string& s) override {
        FCombo->addItem(FromRtlString(s));
        return FCombo->count() - 1;
    }
    int Count() const override { return FCombo->count(); }
    rtl::string Get(int index) const override { return ToRtlString(FCombo->itemText(index)); }
    void Clear() override { FCombo->clear(); }

  private:
    QComboBox* FCombo;
};

/// Appends "1" .. "last" to an editable list whose text is not one of its items: adding
/// the first item would otherwise select it and replace the text.
inline void AppendNumbers(QComboBox* combo, int last) {
    const QString text = combo->currentText();
    for (int i = 1; i <= last; ++i)
        combo->addItem(QString::number(i));
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

} // namespace quillon::console
