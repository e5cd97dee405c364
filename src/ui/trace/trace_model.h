// The trace table's model over the recorder's ring. Rows follow the recorder in batches
// (Refresh), so an exchange costs the table nothing until the next refresh: rows that left
// the ring are removed from the top, new ones appended at the bottom. A row is formatted
// only when the view asks for it.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <deque>

#include "ui/trace/trace_log.h"

namespace vrq::ui {

class TraceModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit TraceModel(const TraceRecorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Register transfers only, or every exchange (drains and board commands too).
    void SetRegistersOnly(bool only);
    bool RegistersOnly() const { return registersOnly_; }
    // Catches up with the recorder: removes the rows it dropped (or cleared), appends the
    // new ones.
    void Refresh();
    // The exchange shown in row; null when the row has just left the ring.
    const board::Exchange* Exchange(int row) const;

  private:
    bool Shows(const board::Exchange& exchange) const;
    void AppendFrom(std::uint64_t seq);

    const TraceRecorder& recorder_;
    bool registersOnly_ = false;
    std::deque<std::uint64_t> rows_;  // the sequence number of each row
    std::uint64_t seen_ = 0;          // the recorder's EndSeq() at the last refresh
};

}  // namespace vrq::ui
