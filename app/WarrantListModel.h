// The rows of "Warranttilista": each warrant's fields as the batch file holds
// them (by the list's columns) and its last valuation, shown as a table of
// figures. Edits are checked by the readers the form and kelvaro use.
#pragma once

#include "BatchFile.h"
#include "ListValuation.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvaro {

class WarrantListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The table's columns.
    enum Column : int {
        kName,
        kUnderlying,
        kType,
        kSide,
        kStrike,
        kExpiry,
        kShare,
        kPrice,
        kValue,
        kGain,
        kGainPercent,
        kVolatility,
        kDelta,
        kLeverage,
        kPremium,
        kBreakEven,
        kKnockOutLevel,
        kKnockOutDistance,
        kTheta,
        kColumnCount
    };
    // The number a column sorts by (a double), or its text.
    static constexpr int kSortRole = Qt::UserRole + 1;

    // Where a row's valuation stands.
    enum class State { Queued, Valued, Stopped };

    struct Entry {
        uint64_t Id = 0;
        std::vector<std::string> Fields; // by Columns()
        std::optional<std::string> Malformed;
        State Status = State::Queued;
        WarrantRun Run;
        int Valuations = 0; // runs handed back and kept
    };

    explicit WarrantListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit checked as the form checks its input; a refusal shows the box
    // and leaves the cell.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Replaces the list: the file's columns (name and underlying among them
    // or not) and its rows, each queued.
    void SetList(std::vector<std::string> columns, const std::vector<ListRow>& rows);
    // Appends a row of inputs by name (name and underlying included); its index.
    int AddRow(const InputTexts& texts);
    void RemoveRowsAt(std::vector<int> rows);

    const std::vector<std::string>& Columns() const { return columns_; }
    const Entry& At(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // The row's given inputs (non-empty fields, name and underlying left out).
    InputTexts Inputs(int row) const;
    std::string Field(int row, std::string_view column) const;
    // The row's field set after the check; the refusal's message otherwise.
    std::optional<std::string> SetField(int row, std::string_view column, const std::string& text);
    // The share's name of every row that has one, each once, in list order.
    std::vector<std::string> Underlyings() const;
    // Rows by their share's name.
    std::vector<int> RowsOf(const std::string& underlying) const;

    // Rows whose inputs changed since they were handed out to value.
    std::vector<int> QueuedRows() const;
    // A valued row back: kept when the row still holds the inputs it was
    // valued with.
    void SetRun(uint64_t id, const std::vector<std::string>& fields, const WarrantRun& run);
    // Rows still queued are marked stopped.
    void StopQueued();
    // Marks the rows queued again.
    void Requeue(const std::vector<int>& rows);
    int RowOf(uint64_t id) const;

    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }

signals:
    // Inputs of these rows changed: they need valuing.
    void RowsQueued();

private:
    int ColumnIndex(std::string_view column); // added when missing
    int FindColumn(std::string_view column) const;
    QString Shown(int row, int column) const;
    QVariant SortKey(int row, int column) const;

    std::vector<std::string> columns_;
    std::vector<Entry> rows_;
    uint64_t nextId_ = 1;
    bool modified_ = false;
};

// Sorts by kSortRole: numbers as numbers, and a row without the number (an
// error, not yet valued) below the others whichever the order.
class WarrantListProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

// The input or list column a table column edits; nullptr for a result.
const char* EditedColumn(int column);

} // namespace kelvaro
