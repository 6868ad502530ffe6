#include "app/PortErrorHint.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace quillon::console {

namespace {

const char* const kNewSession =
    "Fermez ensuite la session et rouvrez-la (ou redémarrez) : un nouveau groupe ne vaut "
    "que pour une nouvelle session.";

bool Contains(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The login name for a command line; the shell fills it in when the account is unknown.
std::string UserForCommand(const TUserAccess& user) {
    return user.Name.empty() ? "$USER" : user.Name;
}

std::string Quoted(const std::string& path) {
    return "« " + path + " »";
}

std::string GenericAccessHint(const std::string& path, const TUserAccess& user) {
    return "Accès refusé à " + Quoted(path) +
           ". Les ports série appartiennent d'ordinaire au groupe dialout (uucp sur Arch et "
           "Fedora). Pour y ajouter l'utilisateur :\n    sudo usermod -aG dialout " +
           UserForCommand(user) + "\n" + kNewSession;
}

std::string AccessHint(const std::string& path, const std::optional<TNodeOwner>& node,
                       const TUserAccess& user) {
    if (!node) return GenericAccessHint(path, user);
    const bool groupMayUse = (node->Mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    // Joining root's group is no advice; a node the group cannot use needs a udev rule.
    if (node->GroupName.empty() || node->Group == 0 || !groupMayUse)
        return "Le périphérique " + Quoted(path) +
               " n'est ouvert à aucun groupe que l'on puisse rejoindre. Une règle udev peut le "
               "confier à l'utilisateur de la session (TAG+=\"uaccess\") : voir le modèle "
               "60-quillon-board.rules et la section « Premier démarrage » du README.";
    const std::string& group = node->GroupName;
    const std::string owner =
        "Le périphérique " + Quoted(path) + " appartient au groupe " + group + ". ";
    const std::string who = user.Name.empty() ? "L'utilisateur" : "L'utilisateur " + user.Name;
    if (Contains(user.SessionGroups, node->Group))
        return owner + who +
               " en fait partie : l'accès est refusé pour une autre raison "
               "(liste de contrôle d'accès, règle udev, module de sécurité).";
    if (Contains(user.AccountGroups, node->Group))
        return owner + who +
               " en fait partie, mais la session actuelle a été ouverte avant "
               "cet ajout. " +
               kNewSession;
    return owner + who + " n'en fait pas partie. Pour l'y ajouter :\n    sudo usermod -aG " +
           group + " " + UserForCommand(user) + "\n" + kNewSession;
}

} // namespace

std::string PortErrorHint(int code, const std::string& path, const std::optional<TNodeOwner>& node,
                          const TUserAccess& user) {
    switch (code) {
    case EACCES:
    case EPERM:
        return AccessHint(path, node, user);
    case EBUSY:
        return "Le port " + Quoted(path) +
               " est déjà ouvert par un autre programme (une autre console, un terminal série, "
               "ModemManager…). Fermez-le, puis ouvrez de nouveau le port ; « fuser -v " +
               path + " » indique lequel le tient.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        if (path.empty())
            return "Aucun port série n'est choisi : branchez l'adaptateur, puis choisissez-le "
                   "dans la liste des ports.";
        return "Le périphérique " + Quoted(path) +
               " n'existe pas ou plus : l'adaptateur a peut-être été débranché. Rebranchez-le : "
               "la liste des ports le choisit de nouveau dès qu'il revient.";
    case EIO: // the code the port reports when its device vanishes while open
        return "La liaison avec " + Quoted(path) +
               " est perdue : le périphérique a disparu (adaptateur débranché ?). Rebranchez-le, "
               "puis ouvrez de nouveau le port (ou cochez « Rouvrir automatiquement » dans le "
               "menu contextuel de la liste des ports).";
    default:
        return {};
    }
}

} // namespace quillon::console
