#include "ui/trace/trace_model.h"

#include <algorithm>

#include "ui/trace/trace_text.h"

namespace vrq::ui {

TraceModel::TraceModel(const TraceRecorder& recorder, QObject* parent)
    : QAbstractTableModel(parent), recorder_(recorder) {
    AppendFrom(recorder_.FirstSeq());
}

int TraceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TraceModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTraceColumnCount;
}

QVariant TraceModel::data(const QModelIndex& index, int role) const {
    const auto column = static_cast<TraceColumn>(index.column());
    if (role == Qt::TextAlignmentRole) {
        const bool number = column == TraceColumn::Time || column == TraceColumn::Board ||
                            column == TraceColumn::RoundTrip;
        return static_cast<int>(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const board::Exchange* exchange = Exchange(index.row());
    if (exchange == nullptr) {
        return {};
    }
    return QString::fromStdString(TraceCell(*exchange, column, recorder_.Origin()));
}

QVariant TraceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kTraceColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const std::string_view title = TraceColumnTitle(static_cast<TraceColumn>(section));
    return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
}

void TraceModel::SetRegistersOnly(bool only) {
    if (only == registersOnly_) {
        return;
    }
    beginResetModel();
    registersOnly_ = only;
    rows_.clear();
    endResetModel();
    AppendFrom(recorder_.FirstSeq());
}

void TraceModel::Refresh() {
    const std::uint64_t first = recorder_.FirstSeq();
    const auto gone = static_cast<int>(
        std::find_if(rows_.begin(), rows_.end(), [&](std::uint64_t seq) { return seq >= first; }) -
        rows_.begin());
    if (gone > 0) {
        beginRemoveRows({}, 0, gone - 1);
        rows_.erase(rows_.begin(), rows_.begin() + gone);
        endRemoveRows();
    }
    AppendFrom(std::max(seen_, first));
}

const board::Exchange* TraceModel::Exchange(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return nullptr;
    }
    return recorder_.At(rows_[static_cast<std::size_t>(row)]);
}

bool TraceModel::Shows(const board::Exchange& exchange) const {
    return !registersOnly_ || IsRegisterTraffic(exchange);
}

void TraceModel::AppendFrom(std::uint64_t seq) {
    const std::uint64_t end = recorder_.EndSeq();
    std::vector<std::uint64_t> fresh;
    for (; seq < end; ++seq) {
        if (Shows(*recorder_.At(seq))) {
            fresh.push_back(seq);
        }
    }
    seen_ = end;
    if (fresh.empty()) {
        return;
    }
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at + static_cast<int>(fresh.size()) - 1);
    rows_.insert(rows_.end(), fresh.begin(), fresh.end());
    endInsertRows();
}

}  // namespace vrq::ui
