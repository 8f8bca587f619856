#include "Kelvarounit1.h"

#include "AppCore.h"
#include "Conversions.h"
#include "QtBridge.h"
#include "ui_Kelvarounit1.h"

#include <QFile>
#include <QFontDatabase>
#include <QLocale>
#include <new>

namespace {

// A number field that does not hold a number, with the field's label.
class EInputError : public std::runtime_error {
public:
    explicit EInputError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// Date and time of day as the picker holds them, whatever its time zone setting.
double PickerSerial(const QDateTimeEdit* picker) {
    return DateTimeToSerial(QDateTime(picker->date(), picker->time()));
}

QString GeneralText(double value) {
    return QString::fromLatin1(FloatToStrF(value, TFloatFormat::ffGeneral, 4, 3));
}

// The locale's short date format, but never with a two-digit year: "06"
// would be read back as 1906.
QString ShortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::TForm1), SaveTextFileDialog1(this) {
    ui->setupUi(this);

    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(11);
    ui->Memo1->setFont(fixed);

    // The form holds its texts with a decimal comma; they follow the regional
    // separator so that the defaults can always be calculated.
    const QChar separator = QChar::fromLatin1(DecimalSeparator());
    for (QLineEdit* edit : {ui->EditStrike, ui->EditMultiplier, ui->EditSGMarg, ui->EditDivid,
                            ui->EditPriceMin, ui->EditPriceMax, ui->EditPriceSteps,
                            ui->EditTimeSteps, ui->EditVolat, ui->EditRate, ui->EditXOpen,
                            ui->EditWeekEnd, ui->EditShare, ui->EditWarrant})
        edit->setText(edit->text().replace(QLatin1Char(','), separator));

    // A new format drops the time of day the pickers carry; it stays 18:20.
    for (QDateEdit* picker : {ui->DateExpiry, ui->DateDivid}) {
        const QTime time = picker->time();
        picker->setDisplayFormat(ShortDateFormat());
        picker->setTime(time);
    }

    // Laske stays where it is whether or not the check button is shown.
    QSizePolicy policy = ui->Button1->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    ui->Button1->setSizePolicy(policy);

    connect(ui->ButtonCalculate, &QPushButton::clicked, this, &TForm1::ButtonCalculateClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui->allennatulokset1, &QAction::triggered, this, &TForm1::Tallennatulokset1Click);
    connect(ui->Poistu1, &QAction::triggered, this, &TForm1::Poistu1Click);

    // Today's date at the form's time of day, 10:00.
    ui->DateNow->setDate(SerialToDateTime(Today()).date());

    resize(564, 539 + menuBar()->sizeHint().height());
    move(0, 0);
}

TForm1::~TForm1() { delete ui; }

namespace {

// Converts an edit box's text; a failure names the input's label and its text.
template <class Convert>
auto ReadField(const QLineEdit* edit, const QLabel* label, const char* kind, Convert convert) {
    const QString text = edit->text();
    try {
        return convert(text.toStdString());
    } catch (const EConvertError&) {
        throw EInputError(QStringLiteral("Virheellinen %1 kentässä \"%2\": \"%3\"")
                              .arg(QString::fromUtf8(kind), label->text(), text));
    }
}

}  // namespace

long double TForm1::ReadFloat(const QLineEdit* edit, const QLabel* label) const {
    return ReadField(edit, label, "luku", [](const std::string& t) { return StrToFloat(t); });
}

int TForm1::ReadInt(const QLineEdit* edit, const QLabel* label) const {
    return ReadField(edit, label, "kokonaisluku", [](const std::string& t) { return StrToInt(t); });
}

void TForm1::ReadInputs() {
    CWarrant& warrant = grid_.Warrant;
    warrant.ProductType = ui->RadioGroupType->ItemIndex();
    warrant.IsCall = ui->RadioGroupCallPut->ItemIndex() == 0;
    warrant.Strike = static_cast<double>(ReadFloat(ui->EditStrike, ui->Label3));
    warrant.Expiry = PickerSerial(ui->DateExpiry);
    warrant.Multiplier = static_cast<double>(ReadFloat(ui->EditMultiplier, ui->Label13));
    warrant.Volatility = FromPercent(ReadFloat(ui->EditVolat, ui->Label8));
    warrant.DividendDate = PickerSerial(ui->DateDivid);
    warrant.Dividend = static_cast<double>(ReadFloat(ui->EditDivid, ui->Label17));
    warrant.KnockOutMargin = warrant.ProductType == kTurboSG
                                 ? static_cast<double>(ReadFloat(ui->EditSGMarg, ui->Label12))
                                 : 0.0;
    grid_.ValuationTime = PickerSerial(ui->DateNow);
    grid_.StepsPerDay = ReadInt(ui->EditTimeSteps, ui->Label7);
    grid_.OpenFraction = FromPercent(ReadFloat(ui->EditXOpen, ui->Label9));
    grid_.WeekendWeight = WeekendWeightFromDays(ReadFloat(ui->EditWeekEnd, ui->Label10));
    grid_.Rate = FromPercent(ReadFloat(ui->EditRate, ui->Label11));
}

void TForm1::ButtonCalculateClick() {
    Guarded([this] {
        ReadInputs();
        if (!BuildLattice(grid_)) {
            ShowMessage(QStringLiteral("Parametrit virheellisiä, Laskenta peruttu"));
            return;
        }
        ui->EditPriceSteps->setText(QString::number(grid_.NodeCount));
        ui->EditPriceMax->setText(GeneralText(grid_.PriceMax));
        ui->EditPriceMin->setText(GeneralText(grid_.PriceMin));
        RollBack(grid_);
        // One replacement instead of a line at a time: thousands of lines
        // then appear at once.
        ui->Memo1->setPlainText(QString::fromLatin1(ListingText(grid_)));
    });
}

void TForm1::Button1Click() {
    Guarded([this] {
        ReadInputs();
        if (!BuildLattice(grid_)) {
            ShowMessage(QStringLiteral("Parametrit virheellisiä."));
            return;
        }
        ShowMessage(QString::fromUtf8(TimeStepVerdict(grid_.PMid, DecimalSeparator())));
    });
}

void TForm1::Tallennatulokset1Click() {
    Guarded([this] {
        if (!SaveTextFileDialog1.Execute()) return;
        const QString name = SaveTextFileDialog1.GetFileName();
        switch (WriteResultsFile(QFile::encodeName(name).toStdString(), grid_, DecimalSeparator())) {
        case SaveStatus::Ok:
            break;
        case SaveStatus::OpenFailed:
            ShowErrorBox(
                QStringLiteral("Tiedostoa \"%1\" ei voitu avata kirjoittamista varten.").arg(name));
            break;
        case SaveStatus::WriteFailed:
            ShowErrorBox(QStringLiteral("Tiedostoon \"%1\" kirjoittaminen epäonnistui.").arg(name));
            break;
        }
    });
}

void TForm1::Poistu1Click() { close(); }

void TForm1::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const EInputError& e) {
        ShowErrorBox(e.Message());
    } catch (const EConvertError& e) {
        ShowErrorBox(QStringLiteral("Virheellinen luku: \"%1\"").arg(QString::fromUtf8(e.Text())));
    } catch (const EngineError& e) {
        ShowErrorBox(QStringLiteral("Laskenta keskeytyi: ") + QString::fromUtf8(e.what()));
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("Muisti ei riitä laskentaan."));
    } catch (const std::exception& e) {
        ShowErrorBox(QStringLiteral("Odottamaton virhe: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Odottamaton virhe."));
    }
}
