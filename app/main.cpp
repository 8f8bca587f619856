// Kelvarolaskuri: values warrants on a share in one window.
#include "Conversions.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "Memory.h"
#include "Translations.h"
#include "ui_Kelvarounit1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>

using namespace kelvaro;

namespace {

// KELVARO_DEMO (screenshots): expiry a year ahead on a weekday, then Laske
// and the listing scrolled to the strike in the middle (1); the volatility
// search at 16 with its figures beside the window (2); the scenario table
// beside it (3).
void StartDemo(TForm1& form, int demo) {
    QDate expiry = QDate::currentDate().addYears(1);
    while (expiry.dayOfWeek() > 5) expiry = expiry.addDays(-1);
    form.ui->DateExpiry->setDate(expiry);
    if (demo == 2) {
        form.ui->Volatiliteettihaku1->trigger();
        form.ui->EditShare->setText(QStringLiteral("16"));
        form.ui->EditWarrant->setText(
            QString(QStringLiteral("0.60")).replace('.', QLatin1Char(DecimalSeparator())));
    }
    QTimer::singleShot(0, &form, [&form, demo] {
        if (demo == 2)
            form.ButtonSolveClick();
        else
            form.ButtonCalculateClick();
        form.WaitUntilIdle();
        if (demo == 3) form.ui->Skenaariot1->trigger();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != &form && window->isVisible())
                window->move(form.frameGeometry().right() + 8, 0);
        if (demo != 2) {
            QScrollBar* bar = form.ui->Memo1->verticalScrollBar();
            bar->setValue(bar->maximum() / 2);
        }
    });
}

} // namespace

int main(int argc, char* argv[]) {
    KeepFreedMemoryForReuse();
    QApplication application(argc, argv);
    // The X11 class and the Wayland app id by which docks find the desktop
    // entry (whose StartupWMClass is this name).
    QApplication::setApplicationName(QStringLiteral("kelvarolaskuri"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("fi.kelvaro.Kelvarolaskuri"));
    InstallQtTranslations(application);
    QString document;
    QString listFile; // --list FILE.csv: Warranttilista opened at start
    {
        // Qt's own options (-platform, ...) are taken by QApplication above.
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Warranttien ja turbowarranttien arvo osakkeen hintahilassa."));
        const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                      QStringLiteral("Näyttää tämän ohjeen."));
        const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                         QStringLiteral("Näyttää ohjelman version."));
        const QCommandLineOption list(QStringLiteral("list"),
                                      QStringLiteral("Avaa warranttilistan tiedostosta."),
                                      QStringLiteral("TIEDOSTO.csv"));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(list);
        parser.addPositionalArgument(QStringLiteral("LASKELMA.kelvaro"),
                                     QStringLiteral("Avaa laskelman (ei laske sitä)."),
                                     QStringLiteral("[LASKELMA.kelvaro]"));
        if (!parser.parse(QApplication::arguments()) || parser.positionalArguments().size() > 1) {
            const QString error = parser.errorText().isEmpty()
                                      ? QStringLiteral("Tuntematon argumentti: %1")
                                            .arg(parser.positionalArguments().value(1))
                                      : parser.errorText();
            std::fprintf(stderr, "kelvarolaskuri: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        if (parser.isSet(help)) {
            std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
            return EXIT_SUCCESS;
        }
        if (parser.isSet(version)) {
            std::printf("kelvarolaskuri %s\n", KELVARO_VERSION);
            return EXIT_SUCCESS;
        }
        document = parser.positionalArguments().value(0);
        listFile = parser.value(list);
    }
    try {
        TForm1 Form1;
        // Screenshots show the window as it opens for a new user.
        if (!qEnvironmentVariableIsSet("KELVARO_DEMO")) Form1.UseSettings();
        Form1.show();
        // A document that cannot be read is one box; the window stays.
        if (!document.isEmpty()) Form1.OpenCalculation(document);
        if (!listFile.isEmpty())
            QTimer::singleShot(0, &Form1, [&Form1, listFile] { Form1.OpenList(listFile); });
        if (const int demo = qEnvironmentVariableIntValue("KELVARO_DEMO")) StartDemo(Form1, demo);
        return application.exec();
    } catch (const std::exception& e) {
        ShowErrorBox(QStringLiteral("Kelvarolaskuri pysähtyi virheeseen: ") +
                     QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Kelvarolaskuri pysähtyi tuntemattomaan virheeseen."));
    }
    // The box was shown; a script or session manager still learns of the failure.
    return EXIT_FAILURE;
}
