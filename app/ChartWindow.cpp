#include "ChartWindow.h"

#include "ChartFormat.h"
#include "QtBridge.h"
#include "Save.h"
#include "ValueChart.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace kelvaro {

ChartWindow::ChartWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), chart_(new ValueChart), slider_(new QSlider(Qt::Horizontal)),
      dates_(new QComboBox), readout_(new QLabel),
      reset_(new QPushButton(QStringLiteral("Palauta näkymä"))),
      save_(new QPushButton(QStringLiteral("Tallenna kuva…"))),
      saveDialog_(this, {QStringLiteral("PNG-kuva (*.png)"), QStringLiteral("SVG-kuva (*.svg)")}) {
    setWindowTitle(QStringLiteral("Arvokäyrä"));
    // Redraw once the slider is let go, not on every pixel of a drag.
    slider_->setTracking(false);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // One line in a place of its own: a long read-out is cut at the right
    // edge rather than wrapped, so the chart never jumps as the mouse moves.
    readout_->setWordWrap(false);
    readout_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    readout_->setFixedHeight(readout_->fontMetrics().height() + 4);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Lisäpäivä:")));
    controls->addWidget(slider_, 1);
    controls->addWidget(dates_);
    controls->addWidget(reset_);
    controls->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chart_, 1);
    layout->addWidget(readout_);
    layout->addLayout(controls);
    connect(slider_, &QSlider::valueChanged, this, [this](int day) { PickDay(day); });
    connect(dates_, &QComboBox::currentIndexChanged, this, [this](int index) {
        PickDay(index > 0 ? std::optional<int32_t>(index - 1) : std::nullopt);
    });
    connect(reset_, &QPushButton::clicked, chart_, &ValueChart::ResetZoom);
    connect(save_, &QPushButton::clicked, this, &ChartWindow::SaveImage);
    connect(chart_, &ValueChart::Hovered, readout_, &QLabel::setText);
    resize(1000, 650);
    // Nothing to pick from before the first grid.
    slider_->setEnabled(false);
    dates_->setEnabled(false);
}

ChartWindow::~ChartWindow() = default;

void ChartWindow::SetGrid(const CGrid& grid, std::optional<double> share) {
    grid_ = grid.Allocated ? &grid : nullptr;
    share_ = share;
    picked_.reset();
    readout_->clear(); // it spoke of the last grid's curves
    {
        const QSignalBlocker blockSlider(slider_), blockDates(dates_);
        dates_->clear();
        dates_->addItem(QStringLiteral("(ei lisäpäivää)"));
        if (grid_ != nullptr) {
            for (int32_t d = 0; d < grid.DayCount; ++d)
                dates_->addItem(QLocale().toString(SerialToDateTime(grid.DayDates[d]).date(),
                                                   QLocale::ShortFormat));
            slider_->setRange(0, grid.DayCount - 1);
            slider_->setValue(0);
        }
    }
    slider_->setEnabled(grid_ != nullptr);
    dates_->setEnabled(grid_ != nullptr);
    Redraw();
}

void ChartWindow::PickDay(std::optional<int32_t> day) {
    if (grid_ == nullptr || picked_ == day) return;
    if (day && (*day < 0 || *day >= grid_->DayCount)) return;
    picked_ = day;
    {
        const QSignalBlocker blockSlider(slider_), blockDates(dates_);
        if (day) slider_->setValue(*day);
        dates_->setCurrentIndex(day ? *day + 1 : 0);
    }
    Redraw();
}

void ChartWindow::Redraw() {
    if (grid_ == nullptr) {
        chart_->Clear();
        return;
    }
    std::vector<int32_t> days = DefaultChartDays(*grid_);
    if (picked_ && std::find(days.begin(), days.end(), *picked_) == days.end()) {
        days.push_back(*picked_);
        std::sort(days.begin(), days.end());
    }
    chart_->SetGrid(*grid_, share_, days);
}

void ChartWindow::SaveImage() {
    if (!saveDialog_.Execute()) return;
    const QString name = saveDialog_.GetFileName();
    const std::string path = QFile::encodeName(name).toStdString();
    const std::optional<ChartFormat> format = ChartFormatOfName(path);
    if (!format) {
        ShowErrorBox(QStringLiteral("Kuvaa ei tallennettu tiedostoon \"%1\": tiedostonimen "
                                    "pääte on .png tai .svg.")
                         .arg(name));
        return;
    }
    const QByteArray bytes = chart_->FileBytes(*format);
    if (bytes.isEmpty()) {
        ShowErrorBox(QStringLiteral("Kuvaa ei voitu piirtää tiedostoon \"%1\".").arg(name));
        return;
    }
    const SaveStatus status = SaveFile(path, std::string_view(bytes.constData(), bytes.size()));
    if (status != SaveStatus::Ok)
        ShowErrorBox(SentenceOf(SaveFailureText(status, name.toStdString())));
}

} // namespace kelvaro
