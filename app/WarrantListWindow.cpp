#include "WarrantListWindow.h"

#include "BackgroundJob.h"
#include "BatchFile.h"
#include "BatchOutput.h"
#include "Closures.h"
#include "Conversions.h"
#include "Csv.h"
#include "Kelvarounit1.h"
#include "ListValuation.h"
#include "NumberText.h"
#include "QtBridge.h"
#include "Save.h"
#include "ShareOutput.h"
#include "WarrantListModel.h"
#include "ui_Kelvarounit1.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

namespace kelvaro {

namespace {

constexpr const char* kLastListKey = "warranttilista/viimeisin";

QString Text(const std::string& s) {
    return QString::fromUtf8(s);
}

// The list's separator on save: a semicolon, so that decimal commas need no quotes.
constexpr char kListSeparator = ';';

int EveryCore() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

} // namespace

WarrantListWindow::WarrantListWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), ListFileDialog(this, {QStringLiteral("Warranttilista (*.csv)"),
                                                         QStringLiteral("Kaikki tiedostot (*)")}),
      ExportFileDialog(
          this, {QStringLiteral("CSV-tiedosto (*.csv)"), QStringLiteral("Kaikki tiedostot (*)")}),
      model_(new WarrantListModel(this)), proxy_(new WarrantListProxy(this)),
      table_(new QTableView(this)), filter_(new QLineEdit(this)), selected_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("&Keskeytä"), this)), shares_(new QWidget(this)),
      sharesLayout_(new QHBoxLayout(shares_)), startTimer_(new QTimer(this)),
      selectedJob_(new BackgroundJob(this)) {
    ShowTitle();
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(WarrantListModel::kSortRole);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setFilterKeyColumn(-1);
    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder); // the list's order until a heading is clicked
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A double-click opens the row in the form; F2 or typing edits a cell.
    table_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                            QAbstractItemView::SelectedClicked);
    table_->horizontalHeader()->setSectionsMovable(true);
    // An error stays on its row's line, cut short; the whole is its tooltip.
    table_->setWordWrap(false);
    table_->horizontalHeader()->setMaximumSectionSize(260);
    table_->setAccessibleName(QStringLiteral("Warranttilista"));
    filter_->setPlaceholderText(QStringLiteral("Suodata…"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleName(QStringLiteral("Suodata"));
    connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);

    auto* open = new QPushButton(QStringLiteral("&Avaa…"), this);
    auto* save = new QPushButton(QStringLiteral("&Tallenna…"), this);
    auto* exportButton = new QPushButton(QStringLiteral("&Vie tulokset…"), this);
    auto* remove = new QPushButton(QStringLiteral("&Poista rivit"), this);
    auto* revalue = new QPushButton(QStringLiteral("&Laske uudelleen"), this);
    open->setObjectName(QStringLiteral("ButtonOpenList"));
    save->setObjectName(QStringLiteral("ButtonSaveList"));
    exportButton->setObjectName(QStringLiteral("ButtonExportList"));
    remove->setObjectName(QStringLiteral("ButtonRemoveRows"));
    revalue->setObjectName(QStringLiteral("ButtonRevalueList"));
    connect(open, &QPushButton::clicked, this, &WarrantListWindow::AskOpen);
    connect(save, &QPushButton::clicked, this, &WarrantListWindow::AskSave);
    connect(exportButton, &QPushButton::clicked, this, &WarrantListWindow::AskExport);
    connect(remove, &QPushButton::clicked, this, &WarrantListWindow::RemoveSelected);
    connect(revalue, &QPushButton::clicked, this, &WarrantListWindow::Revalue);
    connect(cancel_, &QPushButton::clicked, this, &WarrantListWindow::Cancel);

    auto* commands = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{open, save, exportButton, remove, revalue})
        commands->addWidget(w);
    commands->addWidget(filter_, 1);
    auto* running = new QHBoxLayout;
    running->addWidget(progress_, 1);
    running->addWidget(cancel_);
    progress_->hide();
    cancel_->hide();
    sharesLayout_->setContentsMargins(0, 0, 0, 0);
    selected_->setWordWrap(true);
    selected_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(commands);
    layout->addWidget(shares_);
    layout->addWidget(table_, 1);
    layout->addWidget(selected_);
    layout->addLayout(running);
    resize(1200, 560);

    startTimer_->setSingleShot(true);
    startTimer_->setInterval(0);
    connect(startTimer_, &QTimer::timeout, this, &WarrantListWindow::StartQueued);
    connect(model_, &WarrantListModel::RowsQueued, startTimer_, qOverload<>(&QTimer::start));
    connect(model_, &QAbstractItemModel::modelReset, this, &WarrantListWindow::RebuildShareFields);
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            &WarrantListWindow::RebuildShareFields);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &WarrantListWindow::RebuildShareFields);
    connect(model_, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from) {
        std::vector<std::string> names;
        for (const auto& [name, field] : shareFields_) names.push_back(name);
        std::vector<std::string> now = model_->Underlyings();
        std::sort(now.begin(), now.end());
        if (now != names)
            RebuildShareFields();
        else
            ShowUnderlyingShares();
        if (from.row() == proxy_->mapToSource(table_->currentIndex()).row()) ShowSelected();
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &WarrantListWindow::ShowSelected);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const int row = proxy_->mapToSource(index).row();
        if (row < 0 || model_->At(row).Malformed) return;
        InputTexts texts = model_->Inputs(row);
        // A price no volatility gives: the form values the row at its own, as the list did.
        const WarrantListModel::Entry& entry = model_->At(row);
        if (entry.Status == WarrantListModel::State::Valued && entry.Run.Solved &&
            !entry.Run.HasVolatility())
            texts.erase("price");
        emit RowOpened(texts);
    });
}

WarrantListWindow::~WarrantListWindow() {
    StopList();
    selectedJob_->RequestStop();
    selectedJob_->Wait();
}

void WarrantListWindow::ShowTitle() {
    const QString name = path_.isEmpty() ? QString() : QFileInfo(path_).fileName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Warranttilista")
                                  : QStringLiteral("Warranttilista – %1").arg(name));
}

QString WarrantListWindow::LastList() {
    return QSettings().value(QLatin1String(kLastListKey)).toString();
}

void WarrantListWindow::RememberList(const QString& path) {
    path_ = path;
    QSettings().setValue(QLatin1String(kLastListKey), path);
    ShowTitle();
}

bool WarrantListWindow::OpenList(const QString& path) {
    BatchList list;
    try {
        list = ReadBatchFile(QFile::encodeName(path).toStdString());
    } catch (const BatchError& e) {
        ShowErrorBox(SentenceOf(e.Message));
        return false;
    }
    // Rows of the old list still being valued are not handed back.
    StopList();
    model_->SetList(std::move(list.Header.Columns), list.Rows);
    // The first row's vega and rho follow once it is valued.
    if (model_->rowCount() > 0) table_->setCurrentIndex(proxy_->index(0, 0));
    RememberList(path);
    return true;
}

bool WarrantListWindow::SaveList(const QString& path) {
    std::string text;
    const auto line = [&](const std::vector<std::string>& cells) {
        for (const std::string& cell : cells) AppendCsvCell(text, cell, kListSeparator);
        if (cells.empty()) text += kListSeparator;
        text.back() = '\n';
    };
    line(model_->Columns());
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (model_->At(row).Malformed) continue; // its fields cannot be written back
        std::vector<std::string> cells;
        for (const std::string& column : model_->Columns())
            cells.push_back(model_->Field(row, column));
        line(cells);
    }
    const std::string name = QFile::encodeName(path).toStdString();
    const SaveStatus status = SaveFile(name, text);
    if (status != SaveStatus::Ok) {
        ShowErrorBox(SentenceOf(SaveFailureText(status, name)));
        return false;
    }
    model_->SetModified(false);
    RememberList(path);
    return true;
}

bool WarrantListWindow::ExportResults(const QString& path) {
    BatchFormat format;
    format.Csv = true;
    format.Separator = kListSeparator;
    format.Columns = model_->Columns();
    const BatchOutput output(format);
    std::string text = output.Header();
    for (int row = 0; row < model_->rowCount(); ++row) {
        const WarrantListModel::Entry& entry = model_->At(row);
        ListRow listRow;
        listRow.Line = row + 2; // as in the saved list, after its header
        listRow.Fields = entry.Fields;
        WarrantRun run = entry.Run;
        if (entry.Status != WarrantListModel::State::Valued) {
            run = WarrantRun{};
            run.Status = kValuationFailed;
            run.Error = "laskenta keskeytetty";
        }
        text += output.Format(listRow, run);
    }
    const std::string name = QFile::encodeName(path).toStdString();
    const SaveStatus status = SaveFile(name, text);
    if (status != SaveStatus::Ok) {
        ShowErrorBox(SentenceOf(SaveFailureText(status, name)));
        return false;
    }
    return true;
}

void WarrantListWindow::AddRow(const InputTexts& texts) {
    const int row = model_->AddRow(texts);
    table_->selectRow(proxy_->mapFromSource(model_->index(row, 0)).row());
}

void WarrantListWindow::AskOpen() {
    const std::optional<QString> name = AskOpenFileName(
        {this,
         QStringLiteral("Avaa warranttilista"),
         {QStringLiteral("Warranttilista (*.csv)"), QStringLiteral("Kaikki tiedostot (*)")},
         LastList().isEmpty() ? QString() : QFileInfo(LastList()).absolutePath()});
    if (name) OpenList(*name);
}

void WarrantListWindow::AskSave() {
    if (ListFileDialog.Execute()) SaveList(ListFileDialog.GetFileName());
}

void WarrantListWindow::AskExport() {
    if (ExportFileDialog.Execute()) ExportResults(ExportFileDialog.GetFileName());
}

void WarrantListWindow::RemoveSelected() {
    std::vector<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.push_back(proxy_->mapToSource(index).row());
    model_->RemoveRowsAt(rows);
}

void WarrantListWindow::Revalue() {
    std::vector<int> rows(static_cast<std::size_t>(model_->rowCount()));
    for (int row = 0; row < model_->rowCount(); ++row) rows[static_cast<std::size_t>(row)] = row;
    model_->Requeue(rows);
}

void WarrantListWindow::StopList() {
    if (!list_) return;
    // Rows being valued stop at their next trading day; what is already on
    // its way back belongs to this generation and is dropped.
    list_->Cancel();
    list_.reset();
    ++generation_;
    inList_ = handedBack_ = 0;
    submitted_.clear();
    progress_->hide();
    cancel_->hide();
}

void WarrantListWindow::Cancel() {
    if (!list_) return;
    StopList();
    model_->StopQueued();
}

void WarrantListWindow::StartQueued() {
    std::vector<int> rows;
    for (const int row : model_->QueuedRows()) {
        const auto it = submitted_.find(model_->At(row).Id);
        if (it == submitted_.end() || it->second != model_->At(row).Fields) rows.push_back(row);
    }
    // A row added with a new column waits for a list that reads it.
    if (rows.empty() || (list_ && listColumns_ != model_->Columns())) return;
    if (!list_) {
        listColumns_ = model_->Columns();
        ListOptions options;
        options.HandBack = ListOptions::kAsFinished;
        options.VegaRho = false; // the selected row's alone
        const uint64_t generation = generation_;
        list_ = std::make_unique<ListValuation>(
            listColumns_, InputTexts{}, jobs_ > 0 ? jobs_ : EveryCore(),
            [this, generation](const ListRow& row, const WarrantRun& run) {
                QMetaObject::invokeMethod(
                    this,
                    [this, generation, id = static_cast<uint64_t>(row.Line), fields = row.Fields,
                     run] { RowValued(generation, id, fields, run); },
                    Qt::QueuedConnection);
                return true;
            },
            options);
        progress_->setRange(0, 0);
        progress_->setFormat(QStringLiteral("%v / %m riviä"));
        progress_->show();
        cancel_->show();
    }
    for (const int row : rows) {
        const WarrantListModel::Entry& entry = model_->At(row);
        ListRow listRow;
        listRow.Line = static_cast<int64_t>(entry.Id);
        listRow.Fields = entry.Fields;
        submitted_[entry.Id] = entry.Fields;
        list_->Submit(std::move(listRow));
        ++inList_;
    }
    progress_->setRange(0, inList_);
    progress_->setValue(handedBack_);
}

void WarrantListWindow::RowValued(uint64_t generation, uint64_t id,
                                  const std::vector<std::string>& fields, const WarrantRun& run) {
    if (generation != generation_) return;
    model_->SetRun(id, fields, run);
    if (const auto it = submitted_.find(id); it != submitted_.end() && it->second == fields)
        submitted_.erase(it);
    progress_->setValue(++handedBack_);
    if (handedBack_ < inList_) return;
    // Every row handed back: the pool's threads end.
    list_.reset();
    inList_ = handedBack_ = 0;
    submitted_.clear();
    progress_->hide();
    cancel_->hide();
    table_->resizeColumnsToContents();
    StartQueued(); // rows edited meanwhile whose newer inputs were not yet sent
}

void WarrantListWindow::WaitUntilIdle() {
    // Each of them ends in an event: a row handed back, the timer, the job's end.
    while (list_ || startTimer_->isActive() || selectedJob_->Busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void WarrantListWindow::closeEvent(QCloseEvent* event) {
    if (model_->Modified() &&
        !AskYesNo(QStringLiteral("Listan muutoksia ei ole tallennettu. Suljetaanko silti?"))) {
        event->ignore();
        return;
    }
    // The rows not yet valued stay so.
    Cancel();
    event->accept();
}

QLineEdit* WarrantListWindow::ShareField(const std::string& underlying) const {
    const auto it = shareFields_.find(underlying);
    return it == shareFields_.end() ? nullptr : it->second;
}

bool WarrantListWindow::SetUnderlyingShare(const std::string& underlying, const QString& share) {
    const std::vector<int> rows = model_->RowsOf(underlying);
    const std::string text = share.trimmed().toStdString();
    for (const int row : rows) {
        if (model_->Field(row, "share") == text) continue;
        if (const auto refused = model_->SetField(row, "share", text)) {
            ShowErrorBox(SentenceOf(*refused));
            return false;
        }
    }
    return true;
}

void WarrantListWindow::RebuildShareFields() {
    for (auto& [name, field] : shareFields_) field->parentWidget()->deleteLater();
    shareFields_.clear();
    for (const std::string& name : model_->Underlyings()) {
        auto* box = new QWidget(shares_);
        box->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(0, 0, 8, 0);
        auto* label = new QLabel(QStringLiteral("Osake %1").arg(Text(name)), box);
        auto* field = new QLineEdit(box);
        field->setMaximumWidth(80);
        field->setAccessibleName(label->text());
        label->setBuddy(field);
        connect(field, &QLineEdit::editingFinished, this, [this, name, field] {
            if (!SetUnderlyingShare(name, field->text())) ShowUnderlyingShares();
        });
        row->addWidget(label);
        row->addWidget(field);
        sharesLayout_->addWidget(box);
        shareFields_[name] = field;
    }
    sharesLayout_->addStretch();
    shares_->setVisible(!shareFields_.empty());
    ShowUnderlyingShares();
}

void WarrantListWindow::ShowUnderlyingShares() {
    // The share's first row speaks for it; a field being typed in is left alone.
    for (auto& [name, field] : shareFields_) {
        const std::vector<int> rows = model_->RowsOf(name);
        if (!field->hasFocus() && !rows.empty())
            field->setText(Text(model_->Field(rows.front(), "share")));
    }
}

void WarrantListWindow::ShowSelected() {
    const int row = proxy_->mapToSource(table_->currentIndex()).row();
    const WarrantListModel::Entry* entry =
        row >= 0 && row < model_->rowCount() ? &model_->At(row) : nullptr;
    if (entry == nullptr || entry->Status != WarrantListModel::State::Valued ||
        entry->Run.Status != kValued || !entry->Run.Figures) {
        selectedId_ = 0;
        selectedFields_.clear();
        selected_->setText(entry != nullptr && entry->Status == WarrantListModel::State::Valued
                               ? Text(entry->Run.Error)
                               : QString());
        return;
    }
    if (entry->Id == selectedId_ && entry->Fields == selectedFields_) return; // shown or coming
    selectedId_ = entry->Id;
    selectedFields_ = entry->Fields;
    selected_->setText(QStringLiteral("Vega ja rho lasketaan…"));
    // A running one hands over to this row when it ends.
    if (!selectedJob_->Busy()) StartSelected(row);
}

void WarrantListWindow::StartSelected(int row) {
    auto result = std::make_shared<WarrantRun>();
    const InputTexts texts = model_->Inputs(row);
    const uint64_t id = model_->At(row).Id;
    const std::vector<std::string> fields = model_->At(row).Fields;
    *result = model_->At(row).Run;
    BackgroundJob* job = selectedJob_;
    selectedJob_->Start(
        [texts, result, job] {
            *result = AddVegaRho(texts, *result, [job](const CRevaluationProgress&) {
                return !job->StopRequested();
            });
        },
        [this, result, fields, id](std::exception_ptr) {
            if (selectedId_ != id || selectedFields_ != fields) {
                const int now = model_->RowOf(selectedId_);
                if (now >= 0) StartSelected(now);
                return;
            }
            ShowVegaRho(*result);
        });
}

void WarrantListWindow::ShowVegaRho(const WarrantRun& run) {
    if (!run.Figures) {
        selected_->setText(Text(run.Error));
        return;
    }
    QStringList parts;
    for (const FigureRow& figure : FigureRows(*run.Figures, DecimalSeparator()))
        if (figure.Name.starts_with("Vega") || figure.Name.starts_with("Rho"))
            parts << QStringLiteral("%1: %2 %3")
                         .arg(Text(figure.Name), Text(figure.Value), Text(figure.Unit));
    const int row = model_->RowOf(selectedId_);
    const QString name = row < 0 ? QString() : Text(model_->Field(row, kNameColumn));
    selected_->setText((name.isEmpty() ? QString() : name + QStringLiteral(":    ")) +
                       parts.join(QStringLiteral("    ")));
}

void ShowInForm(TForm1& form, const InputTexts& row) {
    CGrid grid;
    try {
        grid = ReadWarrant(row);
    } catch (const InputError& e) {
        ShowErrorBox(SentenceOf(e.what()));
        return;
    }
    // What the row leaves out takes the default, as in the list; the search's
    // prices have none, so the form keeps its own.
    InputTexts texts = form.FormTexts();
    for (const InputInfo& input : kInputs) {
        const std::string name(input.Name);
        if (const auto it = row.find(name); it != row.end())
            texts[name] = it->second;
        else if (!input.DefaultText.empty())
            texts[name] = input.DefaultText;
        else if (name != "share" && name != "price")
            texts.erase(name);
    }
    texts["valuation"] = SerialToDateTime(grid.ValuationTime)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                             .toStdString();
    form.SetFormTexts(texts);
    // Figures at the row's share price, or none.
    form.ShowVolatilitySearch(row.contains("share"));
    if (row.contains("price")) {
        form.ButtonSolveClick();
    } else {
        form.ButtonCalculateClick();
    }
    form.raise();
    form.activateWindow();
}

} // namespace kelvaro
