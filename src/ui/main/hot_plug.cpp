#include "ui/main/hot_plug.h"

#include <QSocketNotifier>

#include "board/discovery.h"
#include "ui/main/status_line.h"

namespace vrq::ui {

HotPlug::HotPlug(link::BoardLink& link, board::DeviceWatch& watch, StatusLine& status)
    : link_(link), status_(status) {
    changes_ = watch.OnChange([this](const board::DeviceChange& change) { OnChange(change); });
    if (watch.Descriptor() >= 0) {
        readable_ = std::make_unique<QSocketNotifier>(watch.Descriptor(), QSocketNotifier::Read);
        connect(readable_.get(), &QSocketNotifier::activated, this, [&watch] { watch.Poll(); });
    }
}

HotPlug::~HotPlug() = default;

void HotPlug::OnChange(const board::DeviceChange& change) {
    const QString path = QString::fromStdString(change.path);
    if (change.kind == board::DeviceChange::Kind::Left) {
        const auto instance = link_.BoardLeft(change.path);
        if (!instance) {
            return;  // no board of ours
        }
        const bool inUse = static_cast<int>(*instance) == link_.CurrentChip().board;
        status_.Say(inUse ? QStringLiteral("The board in use was unplugged.")
                          : QStringLiteral("Board %1 was unplugged.").arg(*instance));
        return;
    }
    const link::Arrival arrival = link_.BoardArrived(change.path);
    switch (arrival.kind) {
        case link::Arrival::Kind::Listed:
            status_.Say(QStringLiteral("Board %1 arrived: %2.").arg(arrival.instance).arg(path));
            break;
        case link::Arrival::Kind::Back:
            status_.Say(QStringLiteral("Board %1 is plugged in again: choose it to use it.")
                            .arg(arrival.instance));
            break;
        case link::Arrival::Kind::NotOpened:
            status_.Say(
                QStringLiteral("A board arrived at %1, but %2.")
                    .arg(path, QString::fromStdString(board::OpenFailureText(arrival.failure))));
            break;
        case link::Arrival::Kind::Known:
            break;
    }
}

}  // namespace vrq::ui
