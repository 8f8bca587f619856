#include "ScenarioWindow.h"

#include "ChartWindow.h"
#include "Conversions.h"
#include "FloatFormat.h"
#include "QtBridge.h"
#include "Save.h"
#include "ScenarioText.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kelvaro {

namespace {

QString General(double value) {
    return QString::fromStdString(ReadableNumber(value, 6, DecimalSeparator()));
}

class FieldError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

double ReadNumber(const QLineEdit* edit, const QString& label) {
    try {
        return static_cast<double>(StrToFloat(edit->text().toStdString(), DecimalSeparator()));
    } catch (const EConvertError&) {
        throw FieldError(QStringLiteral("Virheellinen luku kentässä \"%1\": \"%2\"")
                             .arg(label, edit->text())
                             .toStdString());
    }
}

} // namespace

ScenarioWindow::ScenarioWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), EditFirst(new QLineEdit), EditLast(new QLineEdit),
      EditStep(new QLineEdit), DateList(new QListWidget), CellChoice(new QComboBox),
      TableView(new QTableWidget), Note(new QLabel),
      saveDialog_(
          this, {QStringLiteral("CSV-tiedosto (*.csv)"), QStringLiteral("Kaikki tiedostot (*)")}) {
    setWindowTitle(QStringLiteral("Skenaariot"));
    CellChoice->addItems(
        {QStringLiteral("Arvo"), QStringLiteral("Muutos"), QStringLiteral("Muutos %")});
    TableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* apply = new QPushButton(QStringLiteral("Päivitä"));
    auto* copy = new QPushButton(QStringLiteral("Kopioi"));
    auto* save = new QPushButton(QStringLiteral("Tallenna CSV…"));
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Ensimmäinen hinta"), EditFirst);
    fields->addRow(QStringLiteral("Viimeinen hinta"), EditLast);
    fields->addRow(QStringLiteral("Hinnan askel"), EditStep);
    fields->addRow(QStringLiteral("Solut"), CellChoice);
    fields->addRow(new QLabel(QStringLiteral("Päivät")));
    auto* side = new QVBoxLayout;
    side->addLayout(fields);
    side->addWidget(DateList, 1);
    Note->setWordWrap(true);
    Note->hide();
    side->addWidget(Note);
    side->addWidget(apply);
    side->addWidget(copy);
    side->addWidget(save);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(side);
    layout->addWidget(TableView, 1);
    connect(apply, &QPushButton::clicked, this, &ScenarioWindow::Apply);
    connect(copy, &QPushButton::clicked, this, &ScenarioWindow::CopyToClipboard);
    connect(save, &QPushButton::clicked, this, &ScenarioWindow::SaveCsv);
    connect(CellChoice, &QComboBox::currentIndexChanged, this, &ScenarioWindow::Fill);
    // Only the user's own edits count: the window's own filling is done with
    // signals blocked.
    for (QLineEdit* edit : {EditFirst, EditLast, EditStep})
        connect(edit, &QLineEdit::textEdited, this, [this] { custom_ = true; });
    connect(DateList, &QListWidget::itemChanged, this, [this] { custom_ = true; });
    resize(900, 450);
}

ScenarioWindow::~ScenarioWindow() = default;

ScenarioCell ScenarioWindow::Cell() const {
    return static_cast<ScenarioCell>(CellChoice->currentIndex());
}

void ScenarioWindow::SetGrid(const CGrid& grid, std::optional<double> share) {
    QStringList dropped;
    const std::vector<int32_t> kept =
        custom_ && grid.Allocated ? KeptDays(grid, dropped) : std::vector<int32_t>();
    grid_ = grid.Allocated ? &grid : nullptr;
    table_ = ScenarioTable();
    Note->setText(dropped.isEmpty()
                      ? QString()
                      : QStringLiteral("Uudessa laskennassa ei ole näitä valittuja päiviä, ne "
                                       "poistettiin: %1")
                            .arg(dropped.join(QStringLiteral(", "))));
    Note->setVisible(!dropped.isEmpty());
    const QSignalBlocker blockList(DateList);
    DateList->clear();
    if (grid_ == nullptr) {
        Fill();
        return;
    }
    reference_ = share.value_or(grid.Warrant.Strike);
    if (custom_) {
        // Rows typed but not yet applied count too, when they make rows.
        try {
            const std::vector<double> typed = ScenarioPriceRange(ReadNumber(EditFirst, QString()),
                                                                 ReadNumber(EditLast, QString()),
                                                                 ReadNumber(EditStep, QString()));
            if (!typed.empty()) prices_ = typed;
        } catch (const FieldError&) {
        }
    } else {
        prices_ = DefaultScenarioPrices(reference_);
        EditFirst->setText(General(prices_.front()));
        EditLast->setText(General(prices_.back()));
        EditStep->setText(General(prices_[1] - prices_[0]));
    }
    const std::vector<int32_t> days = custom_ ? kept : DefaultScenarioDays(grid);
    for (int32_t d = 0; d < grid.DayCount; ++d) {
        auto* item = new QListWidgetItem(
            QLocale().toString(SerialToDateTime(grid.DayDates[d]).date(), QLocale::ShortFormat),
            DateList);
        item->setData(Qt::UserRole, grid.DayDates[d]);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(std::find(days.begin(), days.end(), d) != days.end() ? Qt::Checked
                                                                                 : Qt::Unchecked);
    }
    // The rows exactly as last computed, not as read back from their
    // rounded texts.
    table_ = ComputeScenario(grid, prices_, days, reference_);
    Fill();
}

std::vector<int32_t> ScenarioWindow::KeptDays(const CGrid& grid, QStringList& dropped) const {
    // The first and last rows are the valuation moment and the expiry day,
    // whichever dates they fall on; the rest are kept by their date.
    std::vector<int32_t> days;
    const int count = DateList->count();
    for (int i = 0; i < count; ++i) {
        const QListWidgetItem* item = DateList->item(i);
        if (item->checkState() != Qt::Checked) continue;
        std::optional<int32_t> day;
        if (i == 0)
            day = 0;
        else if (i == count - 1)
            day = grid.DayCount - 1;
        else
            day = TradingDayOfDate(
                grid, static_cast<int32_t>(std::floor(item->data(Qt::UserRole).toDouble())));
        if (day)
            days.push_back(*day);
        else
            dropped << item->text();
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
}

void ScenarioWindow::Apply() {
    if (grid_ == nullptr) return;
    try {
        const double first = ReadNumber(EditFirst, QStringLiteral("Ensimmäinen hinta"));
        const double last = ReadNumber(EditLast, QStringLiteral("Viimeinen hinta"));
        const double step = ReadNumber(EditStep, QStringLiteral("Hinnan askel"));
        const std::vector<double> prices = ScenarioPriceRange(first, last, step);
        if (prices.empty())
            throw FieldError("Hinnoista ei saa riviä: askeleen on oltava positiivinen, viimeisen "
                             "hinnan vähintään ensimmäinen ja rivejä enintään 1000");
        std::vector<int32_t> days;
        for (int i = 0; i < DateList->count(); ++i)
            if (DateList->item(i)->checkState() == Qt::Checked) days.push_back(i);
        table_ = ComputeScenario(*grid_, prices, days, reference_);
        prices_ = prices;
        Fill();
    } catch (const FieldError& e) {
        ShowErrorBox(QString::fromStdString(e.what()));
    }
}

namespace {

constexpr const char* kCellNames[] = {"value", "change", "percent"};

} // namespace

InputTexts ScenarioWindow::Settings() const {
    InputTexts settings;
    if (custom_) {
        const char separator = DecimalSeparator();
        for (auto [name, edit] : {std::pair{"first", EditFirst}, std::pair{"last", EditLast},
                                  std::pair{"step", EditStep}}) {
            std::string text = edit->text().toStdString();
            std::replace(text.begin(), text.end(), separator, '.');
            settings[name] = text;
        }
    }
    const int cell = CellChoice->currentIndex();
    if (cell > 0 || custom_) settings["cell"] = kCellNames[std::clamp(cell, 0, 2)];
    return settings;
}

void ScenarioWindow::SetSettings(const InputTexts& settings) {
    for (int i = 0; i < 3; ++i)
        if (const auto it = settings.find("cell");
            it != settings.end() && it->second == kCellNames[i])
            CellChoice->setCurrentIndex(i);
    if (!settings.contains("first") || !settings.contains("last") || !settings.contains("step"))
        return;
    const QChar separator = QChar::fromLatin1(DecimalSeparator());
    for (auto [name, edit] :
         {std::pair{"first", EditFirst}, std::pair{"last", EditLast}, std::pair{"step", EditStep}})
        edit->setText(QString::fromStdString(settings.find(name)->second)
                          .replace(QLatin1Char('.'), separator));
    custom_ = true;
    if (grid_ != nullptr) Apply();
}

void ScenarioWindow::Fill() {
    TableView->clear();
    TableView->setRowCount(static_cast<int>(table_.Prices.size()));
    TableView->setColumnCount(static_cast<int>(table_.Days.size()));
    QStringList header, rows;
    for (const double date : table_.Dates)
        header << QLocale().toString(SerialToDateTime(date).date(), QLocale::ShortFormat);
    for (const double price : table_.Prices) rows << General(price);
    TableView->setHorizontalHeaderLabels(header);
    TableView->setVerticalHeaderLabels(rows);
    for (std::size_t r = 0; r < table_.Prices.size(); ++r)
        for (std::size_t c = 0; c < table_.Days.size(); ++c) {
            const std::optional<double> v = ScenarioCellValue(table_, r, c, Cell());
            auto* item = new QTableWidgetItem(v ? General(*v) : QString());
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            TableView->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
}

QString ScenarioWindow::CsvText() const {
    const char separator = DecimalSeparator();
    return QString::fromLatin1(
        ScenarioText(table_, Cell(), separator, CsvFieldSeparator(separator)));
}

QString ScenarioWindow::ClipboardText() const {
    return QString::fromLatin1(ScenarioText(table_, Cell(), DecimalSeparator(), '\t'));
}

void ScenarioWindow::CopyToClipboard() {
    QApplication::clipboard()->setText(ClipboardText());
}

void ScenarioWindow::SaveCsv() {
    if (!saveDialog_.Execute()) return;
    const QString name = saveDialog_.GetFileName();
    const QByteArray bytes = CsvText().toUtf8();
    const SaveStatus status = SaveFile(QFile::encodeName(name).toStdString(),
                                       std::string_view(bytes.constData(), bytes.size()));
    if (status != SaveStatus::Ok)
        ShowErrorBox(SentenceOf(SaveFailureText(status, name.toStdString())));
}

} // namespace kelvaro
