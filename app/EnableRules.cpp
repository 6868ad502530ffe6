#include "app/EnableRules.h"

namespace quillon::console {

std::vector<TEnableChange> EnableChanges(TEnableCause cause, bool portOpen) {
    switch (cause) {
    case ecFormCreate:
        return {{"envoyertexte", false}, {"Button1", false},  {"envoyervaleur", false},
                {"texte", false},        {"envoinom", false}, {"envoiparametre", false},
                {"Button3", false},      {"Button4", false}};
    case ecPortState:
        // texte, Button2 and the timer are left as they are.
        return {{"Memo", portOpen},         {"envoyertexte", portOpen},
                {"Button1", portOpen},      {"envoyervaleur", portOpen},
                {"envoinom", portOpen},     {"envoiparametre", portOpen},
                {"RadioButton6", portOpen}, {"Button3", portOpen},
                {"Button4", portOpen},      {"ComboBoxDeviceName", !portOpen}};
    case ecFileSource:
        return {{"Button3", false}, {"Button2", true}};
    case ecLinkSource:
        return {{"Button2", false}, {"Button3", true}};
    }
    return {};
}

} // namespace quillon::console
