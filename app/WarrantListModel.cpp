#include "WarrantListModel.h"

#include "Conversions.h"
#include "Dialogs.h"
#include "FloatFormat.h"
#include "NumberText.h"
#include "Refusals.h"
#include "ShareOutput.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>

namespace kelvaro {

namespace {

// The table's columns that show an input or list column, in table order.
constexpr const char* kEditedColumns[] = {"name",   "underlying", "type",  "side",
                                          "strike", "expiry",     "share", "price"};

// The figure each result column shows, by its key in the batch's output.
std::string_view FigureKey(int column) {
    switch (column) {
    case WarrantListModel::kValue:
        return "Value";
    case WarrantListModel::kDelta:
        return "Delta";
    case WarrantListModel::kLeverage:
        return "Leverage";
    case WarrantListModel::kPremium:
        return "Premium";
    case WarrantListModel::kBreakEven:
        return "BreakEven";
    case WarrantListModel::kKnockOutLevel:
        return "KnockOutLevel";
    case WarrantListModel::kKnockOutDistance:
        return "KnockOutDistance";
    case WarrantListModel::kTheta:
        return "ThetaPerDay";
    default:
        return {};
    }
}

// The figure's name, text and number as the figures window shows them.
struct Figure {
    std::string Name, Text;
    std::optional<double> Number;
};
std::optional<Figure> FigureOf(const CShareFigures& figures, std::string_view key) {
    const auto fields = FigureFields(figures); // Share first, then the rows' order
    const std::vector<FigureRow> rows = FigureRows(figures, DecimalSeparator());
    for (std::size_t i = 1; i < fields.size() && i - 1 < rows.size(); ++i)
        if (fields[i].first == key) {
            std::optional<double> number = fields[i].second;
            // Shown as a size, calls and puts alike, and sorted as shown.
            if (number && key == "Leverage") number = std::fabs(*number);
            return Figure{rows[i - 1].Name, rows[i - 1].Value, number};
        }
    return std::nullopt;
}

QString Text(const std::string& s) {
    return QString::fromUtf8(s);
}

QString Number(double value) {
    return Text(ReadableNumber(value, 6, DecimalSeparator()));
}

struct Named {
    const char* field;
    const char* shown;
};
constexpr Named kTypes[] = {
    {"normal", "Normal"}, {"turbo-shb", "Turbo (SHB)"}, {"turbo-sg", "Turbo (SG)"}};
constexpr Named kSides[] = {{"call", "Call/long"}, {"put", "Put/short"}};

template <std::size_t N> QString ShownName(const Named (&names)[N], const std::string& field) {
    for (const Named& n : names)
        if (field == n.field) return QString::fromUtf8(n.shown);
    return Text(field);
}

// A typed "Turbo (SG)" as the field "turbo-sg"; anything else as typed.
template <std::size_t N> std::string FieldName(const Named (&names)[N], const QString& typed) {
    for (const Named& n : names)
        if (typed.compare(QString::fromUtf8(n.shown), Qt::CaseInsensitive) == 0) return n.field;
    return typed.trimmed().toStdString();
}

// The market price the row was valued at.
std::optional<double> MarketPrice(const WarrantRun& run) {
    if (run.Solved) return run.Price;
    return std::nullopt;
}

} // namespace

bool WarrantListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(sortRole()), b = right.data(sortRole());
    if (!a.isValid() || !b.isValid()) {
        if (a.isValid() == b.isValid()) return false;
        // Qt asks the other way round for a descending sort.
        return sortOrder() == Qt::AscendingOrder ? a.isValid() : !a.isValid();
    }
    if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double)
        return a.toDouble() < b.toDouble();
    return QString::localeAwareCompare(a.toString(), b.toString()) < 0;
}

const char* EditedColumn(int column) {
    return column >= 0 && column < static_cast<int>(std::size(kEditedColumns))
               ? kEditedColumns[column]
               : nullptr;
}

WarrantListModel::WarrantListModel(QObject* parent) : QAbstractTableModel(parent) {}

int WarrantListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int WarrantListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant WarrantListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeads[] = {
        "Nimi",          "Kohde-etuus",    "Tyyppi",         "Call/put",
        "Toteutushinta", "Päättymispäivä", "Osake",          "Warrantti",
        nullptr,         "Arvo − hinta",   "Arvo − hinta %", "Implisiittinen volatiliteetti %"};
    if (section < 0 || section >= kColumnCount) return {};
    if (section < static_cast<int>(std::size(kHeads)) && kHeads[section] != nullptr)
        return QString::fromUtf8(kHeads[section]);
    if (const auto figure = FigureOf(CShareFigures{}, FigureKey(section)))
        return Text(figure->Name);
    return {};
}

Qt::ItemFlags WarrantListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return EditedColumn(index.column()) != nullptr ? flags | Qt::ItemIsEditable : flags;
}

std::string WarrantListModel::Field(int row, std::string_view column) const {
    const int i = FindColumn(column);
    const Entry& entry = At(row);
    return i >= 0 && static_cast<std::size_t>(i) < entry.Fields.size()
               ? entry.Fields[static_cast<std::size_t>(i)]
               : std::string();
}

QString WarrantListModel::Shown(int row, int column) const {
    const Entry& entry = At(row);
    if (const char* name = EditedColumn(column)) {
        std::string field = Field(row, name);
        if (field.empty()) field = std::string(InputDefault(name));
        if (column == kType) return ShownName(kTypes, field);
        if (column == kSide) return ShownName(kSides, field);
        // A price as read, with the regional separator; a bad text as typed.
        if (const QVariant price = SortKey(row, column); price.typeId() == QMetaType::Double) {
            std::string digits;
            AppendShortest(digits, price.toDouble(), DecimalSeparator());
            return Text(digits);
        }
        return Text(field);
    }
    if (entry.Status == State::Queued) return column == kValue ? QStringLiteral("…") : QString();
    if (entry.Status == State::Stopped)
        return column == kValue ? QStringLiteral("Keskeytetty") : QString();
    const WarrantRun& run = entry.Run;
    if (run.Status != kValued) return column == kValue ? Text(run.Error) : QString();
    if (column == kVolatility) {
        if (!run.Solved) return {};
        // Without one the row keeps its figures at its own volatility.
        return run.HasVolatility() ? Text(VolatilityPercentText(*run.Solved, DecimalSeparator()))
                                   : Text(run.VolatilityCause);
    }
    const QVariant key = SortKey(row, column);
    if (column == kGain || column == kGainPercent)
        return key.isValid() ? Number(key.toDouble()) : QString();
    if (!run.Figures) return {};
    const auto figure = FigureOf(*run.Figures, FigureKey(column));
    return figure ? Text(figure->Text) : QString();
}

QVariant WarrantListModel::SortKey(int row, int column) const {
    const Entry& entry = At(row);
    if (const char* name = EditedColumn(column)) {
        if (column == kStrike || column == kShare || column == kPrice) {
            std::string field = Field(row, name);
            if (field.empty()) field = std::string(InputDefault(name));
            try {
                return ReadPrice(name, field);
            } catch (const InputError&) {
                return {};
            }
        }
        return Text(Field(row, name));
    }
    if (entry.Status != State::Valued || entry.Run.Status != kValued) return {};
    const WarrantRun& run = entry.Run;
    if (column == kVolatility)
        return run.HasVolatility() ? QVariant(run.Solved->VolatilityPercent) : QVariant();
    if (!run.Figures) return {};
    if (column == kGain || column == kGainPercent) {
        const std::optional<double> price = MarketPrice(run);
        if (!price || !run.Figures->Value) return {};
        const double gain = *run.Figures->Value - *price;
        return column == kGain ? gain : gain / *price * 100.0;
    }
    const auto figure = FigureOf(*run.Figures, FigureKey(column));
    return figure && figure->Number ? QVariant(*figure->Number) : QVariant();
}

QVariant WarrantListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int row = index.row(), column = index.column();
    const Entry& entry = At(row);
    const bool failed =
        entry.Malformed || (entry.Status == State::Valued && entry.Run.Status != kValued);
    switch (role) {
    case Qt::DisplayRole:
        return Shown(row, column);
    case Qt::EditRole:
        if (column == kType || column == kSide) return Shown(row, column);
        return Text(Field(index.row(), EditedColumn(column) ? EditedColumn(column) : ""));
    case kSortRole:
        return SortKey(row, column);
    case Qt::ToolTipRole:
        if (failed) return Text(entry.Run.Error);
        if (column == kVolatility) return Shown(row, column);
        return {};
    case Qt::ForegroundRole:
        if (failed && column >= kValue) return QBrush(QColor(Qt::darkRed));
        return {};
    case Qt::TextAlignmentRole:
        if (failed && column == kValue) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        if (column >= kStrike && column != kExpiry && column != kVolatility)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

bool WarrantListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const char* name = EditedColumn(index.column());
    if (role != Qt::EditRole || !index.isValid() || name == nullptr) return false;
    const QString typed = value.toString();
    const std::string text = index.column() == kType   ? FieldName(kTypes, typed)
                             : index.column() == kSide ? FieldName(kSides, typed)
                                                       : typed.trimmed().toStdString();
    if (text == Field(index.row(), name)) return false;
    if (const auto refused = SetField(index.row(), name, text)) {
        // Named by the column as the table heads it; the reader's words after.
        const QString heading = headerData(index.column(), Qt::Horizontal).toString();
        ShowErrorBox(heading + QStringLiteral(": ") + SentenceOf(*refused));
        return false;
    }
    return true;
}

int WarrantListModel::FindColumn(std::string_view column) const {
    const auto it = std::find(columns_.begin(), columns_.end(), column);
    return it == columns_.end() ? -1 : static_cast<int>(it - columns_.begin());
}

int WarrantListModel::ColumnIndex(std::string_view column) {
    int i = FindColumn(column);
    if (i >= 0) return i;
    columns_.emplace_back(column);
    for (Entry& entry : rows_)
        if (!entry.Malformed) entry.Fields.resize(columns_.size());
    return static_cast<int>(columns_.size()) - 1;
}

InputTexts WarrantListModel::Inputs(int row) const {
    ListRow listRow;
    listRow.Fields = At(row).Fields;
    return RowTexts(columns_, {}, listRow);
}

std::optional<std::string> WarrantListModel::SetField(int row, std::string_view column,
                                                      const std::string& text) {
    Entry& entry = rows_[static_cast<std::size_t>(row)];
    if (entry.Malformed) return *entry.Malformed;
    if (IsInput(column)) {
        InputTexts texts = Inputs(row);
        if (text.empty())
            texts.erase(std::string(column));
        else
            texts[std::string(column)] = text;
        try {
            RequireShareForPrice(texts);
            RequireInput(texts, "expiry");
            ReadWarrant(texts);
            ReadSharePrices(texts);
        } catch (const InputError& e) {
            return std::string(e.what());
        }
    }
    entry.Fields[static_cast<std::size_t>(ColumnIndex(column))] = text;
    modified_ = true;
    if (IsInput(column)) {
        entry.Status = State::Queued;
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        emit RowsQueued();
    } else {
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
    }
    return std::nullopt;
}

void WarrantListModel::SetList(std::vector<std::string> columns, const std::vector<ListRow>& rows) {
    beginResetModel();
    columns_ = std::move(columns);
    rows_.clear();
    for (const ListRow& row : rows) {
        Entry entry;
        entry.Id = nextId_++;
        entry.Fields = row.Fields;
        entry.Malformed = row.Malformed;
        if (entry.Malformed) {
            entry.Status = State::Valued;
            entry.Run.Status = kInputRefused;
            entry.Run.Error = *entry.Malformed;
        } else {
            entry.Fields.resize(columns_.size());
        }
        rows_.push_back(std::move(entry));
    }
    modified_ = false;
    endResetModel();
    emit RowsQueued();
}

int WarrantListModel::AddRow(const InputTexts& texts) {
    for (const auto& [column, text] : texts) ColumnIndex(column);
    Entry entry;
    entry.Id = nextId_++;
    entry.Fields.resize(columns_.size());
    for (const auto& [column, text] : texts)
        entry.Fields[static_cast<std::size_t>(FindColumn(column))] = text;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    rows_.push_back(std::move(entry));
    endInsertRows();
    modified_ = true;
    emit RowsQueued();
    return row;
}

void WarrantListModel::RemoveRowsAt(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (row < 0 || row >= rowCount()) continue;
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
        modified_ = true;
    }
}

std::vector<std::string> WarrantListModel::Underlyings() const {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (int row = 0; row < rowCount(); ++row) {
        const std::string name = Field(row, kUnderlyingColumn);
        if (!name.empty() && seen.insert(name).second) names.push_back(name);
    }
    return names;
}

std::vector<int> WarrantListModel::RowsOf(const std::string& underlying) const {
    std::vector<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        if (!At(row).Malformed && Field(row, kUnderlyingColumn) == underlying) rows.push_back(row);
    return rows;
}

std::vector<int> WarrantListModel::QueuedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        if (At(row).Status == State::Queued) rows.push_back(row);
    return rows;
}

int WarrantListModel::RowOf(uint64_t id) const {
    for (int row = 0; row < rowCount(); ++row)
        if (At(row).Id == id) return row;
    return -1;
}

void WarrantListModel::SetRun(uint64_t id, const std::vector<std::string>& fields,
                              const WarrantRun& run) {
    const int row = RowOf(id);
    if (row < 0) return;
    Entry& entry = rows_[static_cast<std::size_t>(row)];
    // Edited while it was being valued: the newer inputs are valued next.
    if (entry.Fields != fields || entry.Malformed) return;
    entry.Run = run;
    entry.Status = State::Valued;
    ++entry.Valuations;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void WarrantListModel::StopQueued() {
    for (int row = 0; row < rowCount(); ++row)
        if (rows_[static_cast<std::size_t>(row)].Status == State::Queued) {
            rows_[static_cast<std::size_t>(row)].Status = State::Stopped;
            emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        }
}

void WarrantListModel::Requeue(const std::vector<int>& rows) {
    for (const int row : rows) {
        Entry& entry = rows_[static_cast<std::size_t>(row)];
        if (entry.Malformed) continue;
        entry.Status = State::Queued;
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
    }
    if (!rows.empty()) emit RowsQueued();
}

} // namespace kelvaro
