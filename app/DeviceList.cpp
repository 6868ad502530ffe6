#include "app/DeviceList.h"

#include "app/CodePage.h"
#include "platform/DeviceEnum.h"
#include "platform/DeviceNames.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <algorithm>
#include <filesystem>

namespace quillon::console {

namespace {

// Where an entry marked absent keeps its device's path.
constexpr int kAbsentRole = Qt::UserRole + 1;

void Refit(QComboBox* combo) {
    const std::vector<qwin::TSerialPort> ports = qwin::ListSerialPorts(qwin::SystemRoot());
    for (int i = 0; i < combo->count(); ++i) {
        const QString path = DevicePathAt(combo, i);
        QString tip = path;
        if (combo->itemData(i, kAbsentRole).isValid())
            tip += QStringLiteral("\nAbsent : il reviendra ici dès qu'il sera rebranché.");
        const auto port = std::find_if(ports.begin(), ports.end(), [&](const auto& p) {
            return QString::fromStdString(p.DevicePath) == path;
        });
        if (port != ports.end() && !port->FriendlyName.empty())
            tip += QLatin1Char('\n') + QString::fromStdString(port->FriendlyName);
        combo->setItemData(i, tip, Qt::ToolTipRole);
    }
    combo->setToolTip(combo->currentData(Qt::ToolTipRole).toString());
    // The drop-down's width only: the closed list keeps the layout's.
    QAbstractItemView* view = combo->view();
    const int widest = combo->count() ? view->sizeHintForColumn(0) : 0;
    view->setMinimumWidth(widest + 2 * view->frameWidth() +
                          view->verticalScrollBar()->sizeHint().width());
}

} // namespace

void FitDeviceList(QComboBox* combo) {
    QAbstractItemModel* model = combo->model();
    const auto refit = [combo] { Refit(combo); };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, combo, refit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, combo, refit);
    QObject::connect(model, &QAbstractItemModel::modelReset, combo, refit);
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo] {
        combo->setToolTip(combo->currentData(Qt::ToolTipRole).toString());
    });
    Refit(combo);
}

void ChooseDevice(QComboBox* combo, const QString& device) {
    const QString path =
        QString::fromStdString(qwin::detail::NormaliseDeviceName(ToRtlString(device)));
    int index = -1;
    for (int i = 0; i < combo->count() && index < 0; ++i)
        if (DevicePathAt(combo, i) == path) index = i;
    if (index < 0) {
        combo->addItem(path);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
    // The window points its closed port at the entry as for the operator's own choice.
    emit combo->activated(index);
}

QString DevicePathAt(const QComboBox* combo, int index) {
    const QVariant absent = combo->itemData(index, kAbsentRole);
    return absent.isValid() ? absent.toString() : combo->itemText(index);
}

QStringList ListedDevices(const QComboBox* combo) {
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        if (!combo->itemData(i, kAbsentRole).isValid()) listed.append(combo->itemText(i));
    return listed;
}

QString DeviceIdentity(const QString& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path device = fs::canonical(path.toStdString(), ec);
    if (ec) return {};
    const fs::path byId = fs::path(qwin::SystemRoot()) / "dev/serial/by-id";
    for (const fs::directory_entry& link : fs::directory_iterator(byId, ec)) {
        std::error_code dangling;
        if (fs::canonical(link.path(), dangling) == device && !dangling)
            return QString::fromStdString(link.path().filename().string());
    }
    return {};
}

bool MergeDeviceList(QComboBox* combo, const QStringList& present, TChosenDevice& choice) {
    if (!present.contains(choice.Path) && !choice.Identity.isEmpty())
        for (const QString& path : present)
            if (DeviceIdentity(path) == choice.Identity) choice.Path = path;
    const bool found = present.contains(choice.Path);
    if (found && choice.Identity.isEmpty()) choice.Identity = DeviceIdentity(choice.Path);

    for (int i = combo->count() - 1; i >= 0; --i)
        if (!present.contains(combo->itemText(i))) combo->removeItem(i);
    for (const QString& path : present)
        if (combo->findText(path) < 0) combo->addItem(path);
    if (!found && !choice.Path.isEmpty()) {
        // Shown where the operator left it, so that nothing else looks chosen.
        combo->addItem(choice.Path + QStringLiteral(" (absent)"));
        combo->setItemData(combo->count() - 1, choice.Path, kAbsentRole);
    }
    const int index = found ? combo->findText(choice.Path) : combo->count() - 1;
    combo->setCurrentIndex(choice.Path.isEmpty() ? 0 : index);
    return found;
}

} // namespace quillon::console
