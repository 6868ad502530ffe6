#include "app/DeviceList.h"

#include "app/CodePage.h"
#include "platform/DeviceEnum.h"
#include "platform/DeviceNames.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <algorithm>

namespace quillon::console {

namespace {

void Refit(QComboBox* combo) {
    const std::vector<qwin::TSerialPort> ports = qwin::ListSerialPorts(qwin::SystemRoot());
    for (int i = 0; i < combo->count(); ++i) {
        const QString path = combo->itemText(i);
        QString tip = path;
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
    int index = combo->findText(path);
    if (index < 0) {
        combo->addItem(path);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
    // The window points its closed port at the entry as for the operator's own choice.
    emit combo->activated(index);
}

} // namespace quillon::console
